// zarndemux: splits a Zarn file into its video data and one stream per
// audio track. Pull mode reads the frame index and seeks anywhere; push
// mode plays the frames in order and seeks through a byte seek upstream
// when the source allows one.
#include <gst/base/gstadapter.h>
#include <gst/base/gstflowcombiner.h>

#include <vector>

#include "gst/audio_positions.h"
#include "gst/elements.h"
#include "zarn/zarn.h"

GST_DEBUG_CATEGORY_STATIC(zarn_demux_debug);
#define GST_CAT_DEFAULT zarn_demux_debug

namespace {

struct AudioStream {
    GstPad* pad = nullptr;
    uint32_t track = 0;
    uint32_t rate = 0;
    // After a seek nothing is pushed until a packet reaches the segment's
    // start; the last packet before it waits in `held`, to be decoded first
    // (the decoder's cross-fade needs it) and clipped away.
    bool pushing = false;
    GstBuffer* held = nullptr;
};

// Where playback restarts after a seek.
struct SeekPlan {
    GstSegment segment;
    uint32_t first_frame = 0;  // the first packet read
    uint32_t video_from = 0;   // the key frame the pictures start at
    uint32_t stop_frame = 0;
    uint32_t seqnum = 0;
};

}  // namespace

struct ZarnDemux {
    GstElement parent;
    GstPad* sink;
    // Everything below is reset by ResetDemux.
    bool have_header;
    bool push_mode;
    zarn_header header;
    std::vector<uint32_t>* index;   // index_count + 1 raw entries
    std::vector<uint32_t>* tracks;  // the track format words
    GstPad* video;
    std::vector<AudioStream>* audio;
    GstFlowCombiner* combiner;
    GstAdapter* adapter;
    AudioPositions* positions;
    uint64_t offset;      // push mode: the file offset of the adapter's first byte
    uint32_t next_frame;  // the frame the loop pushes next
    uint32_t video_from;  // frames before it give their sound only
    uint32_t stop_frame;  // one past the last frame of the segment
    GstSegment segment;
    bool send_segment;
    bool ended;             // push mode: the end was sent downstream
    gint64 error_deadline;  // pull mode: when a held error is posted anyway (0: none held)
    uint32_t seqnum;
    // Push mode: the seek sent upstream, applied at its flush's end.
    SeekPlan* pending;
    bool has_pending;
};

// The pull-mode task: one frame per call.
void ZarnDemuxLoop(GstPad* pad);

struct ZarnDemuxClass {
    GstElementClass parent_class;
};

G_DEFINE_TYPE(ZarnDemux, zarn_demux, GST_TYPE_ELEMENT)
GST_ELEMENT_REGISTER_DEFINE(zarndemux, "zarndemux", GST_RANK_PRIMARY, zarn_demux_get_type())

namespace {

GstStaticPadTemplate sink_template =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS(ZARN_FILE_CAPS));
GstStaticPadTemplate video_template =
    GST_STATIC_PAD_TEMPLATE("video", GST_PAD_SRC, GST_PAD_SOMETIMES, GST_STATIC_CAPS(ZARN_VIDEO_CAPS));
GstStaticPadTemplate audio_template =
    GST_STATIC_PAD_TEMPLATE("audio_%u", GST_PAD_SRC, GST_PAD_SOMETIMES, GST_STATIC_CAPS(ZARN_AUDIO_CAPS));

constexpr uint32_t kTrackHasAudio = 0x80000000u;
constexpr uint32_t kTrackStereo = 0x20000000u;

ZarnDemux* Demux(gpointer p) { return reinterpret_cast<ZarnDemux*>(p); }

uint32_t ReadLe32(const guint8* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

GstClockTime FrameTime(const ZarnDemux* d, uint64_t frame) {
    if (d->header.rate_num == 0) return 0;
    return gst_util_uint64_scale(frame, GST_SECOND * d->header.rate_den, d->header.rate_num);
}

GstClockTime Duration(const ZarnDemux* d) { return FrameTime(d, d->header.frame_count); }

// The first frame whose start is at or after `time` (the last for a time
// past the end).
uint32_t FrameAt(const ZarnDemux* d, GstClockTime time) {
    if (d->header.rate_den == 0) return 0;
    uint64_t f = gst_util_uint64_scale_ceil(time, d->header.rate_num, GST_SECOND * d->header.rate_den);
    return static_cast<uint32_t>(MIN(f, uint64_t{d->header.frame_count}));
}

uint32_t KeyFrameAtOrBefore(const ZarnDemux* d, uint32_t frame) {
    if (frame >= d->header.frame_count) frame = d->header.frame_count - 1;
    while (frame > 0 && !((*d->index)[frame] & 1)) --frame;
    return frame;
}

void RemovePads(ZarnDemux* d) {
    if (d->video) {
        gst_flow_combiner_remove_pad(d->combiner, d->video);
        gst_element_remove_pad(GST_ELEMENT(d), d->video);
        d->video = nullptr;
    }
    for (AudioStream& a : *d->audio) {
        gst_flow_combiner_remove_pad(d->combiner, a.pad);
        gst_element_remove_pad(GST_ELEMENT(d), a.pad);
        gst_clear_buffer(&a.held);
    }
    d->audio->clear();
}

void ResetDemux(ZarnDemux* d) {
    RemovePads(d);
    d->have_header = false;
    d->header = zarn_header{};
    d->index->clear();
    d->tracks->clear();
    ResetAudioPositions(d->positions, {});
    gst_adapter_clear(d->adapter);
    d->offset = 0;
    d->next_frame = 0;
    d->video_from = 0;
    d->stop_frame = 0;
    gst_segment_init(&d->segment, GST_FORMAT_TIME);
    d->send_segment = true;
    d->ended = false;
    d->error_deadline = 0;
    d->seqnum = gst_util_seqnum_next();
    d->has_pending = false;
}

// Push mode: whether the source upstream can seek in bytes.
bool UpstreamSeekable(ZarnDemux* d) {
    GstQuery* query = gst_query_new_seeking(GST_FORMAT_BYTES);
    gboolean seekable = FALSE;
    if (gst_pad_peer_query(d->sink, query))
        gst_query_parse_seeking(query, nullptr, &seekable, nullptr, nullptr);
    gst_query_unref(query);
    return seekable;
}

gboolean SrcQuery(GstPad* pad, GstObject* parent, GstQuery* query) {
    ZarnDemux* d = Demux(parent);
    switch (GST_QUERY_TYPE(query)) {
    case GST_QUERY_DURATION: {
        GstFormat format;
        gst_query_parse_duration(query, &format, nullptr);
        if (format != GST_FORMAT_TIME || !d->have_header) return FALSE;
        gst_query_set_duration(query, GST_FORMAT_TIME, Duration(d));
        return TRUE;
    }
    case GST_QUERY_POSITION: {
        GstFormat format;
        gst_query_parse_position(query, &format, nullptr);
        if (format != GST_FORMAT_TIME || !d->have_header) return FALSE;
        GST_OBJECT_LOCK(d);
        const GstClockTime position = d->segment.position;
        GST_OBJECT_UNLOCK(d);
        gst_query_set_position(query, GST_FORMAT_TIME, position);
        return TRUE;
    }
    case GST_QUERY_SEEKING: {
        GstFormat format;
        gst_query_parse_seeking(query, &format, nullptr, nullptr, nullptr);
        if (format != GST_FORMAT_TIME || !d->have_header) return FALSE;
        gst_query_set_seeking(query, GST_FORMAT_TIME, !d->push_mode || UpstreamSeekable(d), 0, Duration(d));
        return TRUE;
    }
    default: return gst_pad_query_default(pad, parent, query);
    }
}

void PushToAll(ZarnDemux* d, GstEvent* event) {
    if (d->video) gst_pad_push_event(d->video, gst_event_ref(event));
    for (AudioStream& a : *d->audio) gst_pad_push_event(a.pad, gst_event_ref(event));
    gst_event_unref(event);
}

GstFlowReturn PullExact(ZarnDemux* d, uint64_t offset, guint size, GstBuffer** buffer);

uint64_t TargetSample(const AudioStream& a, GstClockTime time) {
    return gst_util_uint64_scale(time, a.rate, GST_SECOND);
}

bool AudioReachesTargets(const ZarnDemux* d, GstClockTime time) {
    const uint32_t counted = CountedPackets(*d->positions);
    for (const AudioStream& a : *d->audio)
        if (AudioStart(*d->positions, counted, a.track) <= TargetSample(a, time)) return false;
    return true;
}

// Pull mode: counts packets from their length words alone until every
// track's sound reaches `time`.
void CountPacketsUpTo(ZarnDemux* d, GstClockTime time) {
    const uint32_t tracks = d->header.audio_tracks;
    std::vector<uint32_t> counts(tracks);
    while (CountedPackets(*d->positions) < d->header.frame_count && !AudioReachesTargets(d, time)) {
        const uint32_t frame = CountedPackets(*d->positions);
        uint64_t at = (*d->index)[frame] & ~1u;
        const uint64_t end = (*d->index)[frame + 1] & ~1u;
        for (uint32_t t = 0; t < tracks; ++t) {
            counts[t] = 0;
            GstBuffer* words = nullptr;
            if (at + 4 > end || PullExact(d, at, 4 + 4 * (at + 8 <= end), &words) != GST_FLOW_OK) {
                at = end;  // damaged or unreadable: no sound from here on
                continue;
            }
            GstMapInfo map;
            gst_buffer_map(words, &map, GST_MAP_READ);
            const uint32_t length = ReadLe32(map.data);
            if (length >= 4 && map.size >= 8 && at + 4 + length <= end) counts[t] = ReadLe32(map.data + 4);
            gst_buffer_unmap(words, &map);
            gst_buffer_unref(words);
            at = at + 4 + length <= end ? at + 4 + length : end;
        }
        CountPacket(d->positions, frame, counts.data());
    }
}

// Works out the new segment (GstSegment does) and the frames to read:
// pictures restart at the key frame at or before its start, sound a packet
// before the one that reaches it; the decoders drop what precedes the start.
bool PlanSeek(ZarnDemux* d, GstEvent* event, SeekPlan* plan) {
    gdouble rate;
    GstFormat format;
    GstSeekFlags flags;
    GstSeekType start_type, stop_type;
    gint64 start, stop;
    gst_event_parse_seek(event, &rate, &format, &flags, &start_type, &start, &stop_type, &stop);
    if (format != GST_FORMAT_TIME || rate <= 0.0) return false;
    plan->segment = d->segment;
    gboolean update;
    gst_segment_do_seek(&plan->segment, rate, format, flags, start_type, start, stop_type, stop, &update);
    const uint32_t key = KeyFrameAtOrBefore(d, FrameAt(d, plan->segment.start));
    if (flags & GST_SEEK_FLAG_KEY_UNIT) {
        const GstClockTime key_time = FrameTime(d, key);
        plan->segment.start = plan->segment.time = plan->segment.position = key_time;
    }
    uint32_t stop_frame = d->header.frame_count;
    if (GST_CLOCK_TIME_IS_VALID(plan->segment.stop))
        stop_frame = MIN(stop_frame, FrameAt(d, plan->segment.stop) + 1);
    if (!d->push_mode) CountPacketsUpTo(d, plan->segment.start);
    const bool complete = CountedPackets(*d->positions) >= d->header.frame_count;
    plan->first_frame = key;
    for (const AudioStream& a : *d->audio)
        plan->first_frame =
            MIN(plan->first_frame,
                AudioStartPacket(*d->positions, a.track, TargetSample(a, plan->segment.start), complete));
    plan->video_from = key;
    plan->stop_frame = MAX(stop_frame, key + 1);
    plan->seqnum = gst_event_get_seqnum(event);
    return true;
}

void ApplyPlan(ZarnDemux* d, const SeekPlan& plan) {
    GST_OBJECT_LOCK(d);
    d->segment = plan.segment;
    d->next_frame = plan.first_frame;
    d->video_from = plan.video_from;
    d->stop_frame = plan.stop_frame;
    GST_OBJECT_UNLOCK(d);
    for (AudioStream& a : *d->audio) {
        a.pushing = false;
        gst_clear_buffer(&a.held);
    }
    d->send_segment = true;
    d->ended = false;
    d->seqnum = plan.seqnum;
    gst_flow_combiner_reset(d->combiner);
}

// Push mode: asks the source for the plan's first packet; the plan takes
// effect when the flush comes back down. Only flushing seeks: the bytes
// already queued downstream of the source would otherwise come first.
gboolean SeekUpstream(ZarnDemux* d, GstEvent* event) {
    GstSeekFlags flags;
    gst_event_parse_seek(event, nullptr, nullptr, &flags, nullptr, nullptr, nullptr, nullptr);
    if (!(flags & GST_SEEK_FLAG_FLUSH)) return FALSE;
    // The streaming thread may be held downstream: the object lock guards
    // what it counts and the segment.
    GST_OBJECT_LOCK(d);
    const bool planned = PlanSeek(d, event, d->pending);
    d->has_pending = planned;
    const uint64_t offset = (*d->index)[d->pending->first_frame] & ~1u;
    GST_OBJECT_UNLOCK(d);
    if (!planned) return FALSE;
    GstEvent* bytes =
        gst_event_new_seek(1.0, GST_FORMAT_BYTES, GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                           GST_SEEK_TYPE_SET, gint64(offset), GST_SEEK_TYPE_NONE, -1);
    gst_event_set_seqnum(bytes, d->pending->seqnum);
    if (gst_pad_push_event(d->sink, bytes)) return TRUE;
    GST_OBJECT_LOCK(d);
    d->has_pending = false;
    GST_OBJECT_UNLOCK(d);
    return FALSE;
}

// Flushing or not, key-frame or accurate, segment or plain.
gboolean Seek(ZarnDemux* d, GstEvent* event) {
    if (!d->have_header || !d->video) return FALSE;
    if (d->push_mode) return SeekUpstream(d, event);
    GstSeekFlags flags;
    gst_event_parse_seek(event, nullptr, nullptr, &flags, nullptr, nullptr, nullptr, nullptr);
    const bool flush = flags & GST_SEEK_FLAG_FLUSH;
    const uint32_t seqnum = gst_event_get_seqnum(event);
    if (flush) {
        GstEvent* e = gst_event_new_flush_start();
        gst_event_set_seqnum(e, seqnum);
        PushToAll(d, e);
    } else {
        gst_pad_pause_task(d->sink);
    }
    GST_PAD_STREAM_LOCK(d->sink);
    SeekPlan plan;
    if (!PlanSeek(d, event, &plan)) {
        if (flush) PushToAll(d, gst_event_new_flush_stop(TRUE));
        gst_pad_start_task(d->sink, reinterpret_cast<GstTaskFunction>(ZarnDemuxLoop), d->sink, nullptr);
        GST_PAD_STREAM_UNLOCK(d->sink);
        return FALSE;
    }
    ApplyPlan(d, plan);
    if (flush) {
        GstEvent* e = gst_event_new_flush_stop(TRUE);
        gst_event_set_seqnum(e, seqnum);
        PushToAll(d, e);
    }
    if (flags & GST_SEEK_FLAG_SEGMENT) {
        GstMessage* m = gst_message_new_segment_start(GST_OBJECT(d), GST_FORMAT_TIME, plan.segment.start);
        gst_message_set_seqnum(m, seqnum);
        gst_element_post_message(GST_ELEMENT(d), m);
    }
    gst_pad_start_task(d->sink, reinterpret_cast<GstTaskFunction>(ZarnDemuxLoop), d->sink, nullptr);
    GST_PAD_STREAM_UNLOCK(d->sink);
    return TRUE;
}

gboolean SrcEvent(GstPad* pad, GstObject* parent, GstEvent* event) {
    ZarnDemux* d = Demux(parent);
    if (GST_EVENT_TYPE(event) == GST_EVENT_SEEK) {
        const gboolean ok = Seek(d, event);
        gst_event_unref(event);
        return ok;
    }
    return gst_pad_event_default(pad, parent, event);
}

GstPad* NewPad(ZarnDemux* d, GstStaticPadTemplate* tmpl, const gchar* name, GstCaps* caps,
               const gchar* stream_id) {
    GstPad* pad = gst_pad_new_from_static_template(tmpl, name);
    gst_pad_set_query_function(pad, SrcQuery);
    gst_pad_set_event_function(pad, SrcEvent);
    gst_pad_use_fixed_caps(pad);
    gst_pad_set_active(pad, TRUE);
    gchar* id = gst_pad_create_stream_id(pad, GST_ELEMENT(d), stream_id);
    GstEvent* start = gst_event_new_stream_start(id);
    gst_event_set_group_id(start, d->seqnum);
    gst_pad_push_event(pad, start);
    g_free(id);
    gst_pad_push_event(pad, gst_event_new_caps(caps));
    gst_caps_unref(caps);
    gst_element_add_pad(GST_ELEMENT(d), pad);
    gst_flow_combiner_add_pad(d->combiner, pad);
    return pad;
}

void AddPads(ZarnDemux* d) {
    const zarn_header& h = d->header;
    const gchar version[2] = {h.version, 0};
    GstCaps* caps = gst_caps_new_simple(
        "video/x-zarn", "systemstream", G_TYPE_BOOLEAN, FALSE, "version", G_TYPE_STRING, version, "width",
        G_TYPE_INT, gint(h.width), "height", G_TYPE_INT, gint(h.height), "framerate", GST_TYPE_FRACTION,
        gint(h.rate_num), gint(MAX(h.rate_den, 1u)), "video-flags", G_TYPE_UINT, h.video_flags, nullptr);
    d->video = NewPad(d, &video_template, "video", caps, "video");
    for (uint32_t t = 0; t < h.audio_tracks; ++t) {
        const uint32_t format = (*d->tracks)[t];
        if (!(format & kTrackHasAudio) || (format & 0xFFFF) == 0) continue;
        GstCaps* a = gst_caps_new_simple("audio/x-zarn", "rate", G_TYPE_INT, gint(format & 0xFFFF),
                                         "channels", G_TYPE_INT, (format & kTrackStereo) ? 2 : 1, nullptr);
        gchar* name = g_strdup_printf("audio_%u", t);
        AudioStream s;
        s.track = t;
        s.rate = format & 0xFFFF;
        s.pad = NewPad(d, &audio_template, name, a, name);
        d->audio->push_back(s);
        g_free(name);
    }
    gst_element_no_more_pads(GST_ELEMENT(d));
    GstTagList* tags = gst_tag_list_new(GST_TAG_CONTAINER_FORMAT, "Zarn", nullptr);
    gst_pad_push_event(d->video, gst_event_new_tag(tags));
}

// Checks the header and the tables (header and tables bytes in `data`).
bool TakeTables(ZarnDemux* d, const guint8* data) {
    const zarn_header& h = d->header;
    const guint8* p = data + ZARN_HEADER_BYTES + 4 * h.audio_tracks;
    std::vector<uint32_t> frame_bytes;
    for (uint32_t t = 0; t < h.audio_tracks; ++t) {
        d->tracks->push_back(ReadLe32(p + 4 * t));
        frame_bytes.push_back((d->tracks->back() & kTrackStereo) ? 4 : 2);
    }
    ResetAudioPositions(d->positions, frame_bytes);
    p = data + ZARN_HEADER_BYTES + 12 * h.audio_tracks;
    for (uint32_t i = 0; i <= h.index_count; ++i) d->index->push_back(ReadLe32(p + 4 * i));
    // Every frame must lie after the tables, in order, inside the file.
    const uint64_t file_length = uint64_t{h.size_field} + 8;
    for (uint32_t i = 0; i < h.frame_count; ++i) {
        const uint64_t begin = (*d->index)[i] & ~1u, end = (*d->index)[i + 1] & ~1u;
        if (begin < h.data_start || end < begin || end > file_length) return false;
    }
    d->stop_frame = h.frame_count;
    d->have_header = true;
    return true;
}

void SendSegment(ZarnDemux* d) {
    if (!d->send_segment) return;
    d->send_segment = false;
    GstEvent* e = gst_event_new_segment(&d->segment);
    gst_event_set_seqnum(e, d->seqnum);
    PushToAll(d, e);
}

// Pushes one track's audio data of a packet, or holds it back while the
// track's sound has not reached the segment's start.
GstFlowReturn PushAudio(ZarnDemux* d, AudioStream& a, uint32_t frame, GstBuffer* buf) {
    const uint32_t counted = CountedPackets(*d->positions);
    if (frame >= counted) {  // not counted: only when the packets are read out of order
        GST_BUFFER_PTS(buf) = FrameTime(d, frame);
    } else {
        const uint64_t begin = AudioStart(*d->positions, frame, a.track);
        const uint64_t end = AudioStart(*d->positions, frame + 1, a.track);
        GST_BUFFER_PTS(buf) = gst_util_uint64_scale(begin, GST_SECOND, a.rate);
        GST_BUFFER_DURATION(buf) = gst_util_uint64_scale(end, GST_SECOND, a.rate) - GST_BUFFER_PTS(buf);
        if (!a.pushing && end <= TargetSample(a, d->segment.start)) {
            gst_clear_buffer(&a.held);
            a.held = buf;
            return GST_FLOW_OK;
        }
    }
    GST_BUFFER_DTS(buf) = GST_BUFFER_PTS(buf);
    GST_BUFFER_OFFSET(buf) = frame;
    GstFlowReturn flow = GST_FLOW_OK;
    if (!a.pushing) {
        a.pushing = true;
        GstBuffer* first = a.held ? a.held : buf;
        GST_BUFFER_FLAG_SET(first, GST_BUFFER_FLAG_DISCONT);
        if (a.held) flow = gst_pad_push(a.pad, a.held);
        a.held = nullptr;
    }
    if (flow == GST_FLOW_OK)
        flow = gst_pad_push(a.pad, buf);
    else
        gst_buffer_unref(buf);
    return gst_flow_combiner_update_pad_flow(d->combiner, a.pad, flow);
}

// Pushes frame `frame`'s parts; `packet` is its whole packet. The sound
// of every packet is counted, the picture pushed from `video_from` on.
GstFlowReturn PushFrame(ZarnDemux* d, uint32_t frame, GstBuffer* packet) {
    const GstClockTime pts = FrameTime(d, frame), duration = FrameTime(d, frame + 1) - pts;
    const bool key = (*d->index)[frame] & 1;
    const uint32_t tracks = d->header.audio_tracks;
    GstMapInfo map;
    if (!gst_buffer_map(packet, &map, GST_MAP_READ)) return GST_FLOW_ERROR;
    std::vector<const uint8_t*> data(tracks, nullptr);
    std::vector<size_t> sizes(tracks, 0);
    std::vector<uint32_t> counts(tracks, 0);
    size_t video_offset = tracks ? map.size : 0;
    bool damaged = false;
    for (uint32_t t = 0; t < tracks && !damaged; ++t) {
        damaged =
            zarn_packet_audio(map.data, map.size, tracks, t, &data[t], &sizes[t], &video_offset) != ZARN_OK;
        if (!damaged && sizes[t] >= 4) counts[t] = ReadLe32(data[t]);
    }
    if (damaged) video_offset = map.size;
    GST_OBJECT_LOCK(d);
    CountPacket(d->positions, frame, counts.data());
    GST_OBJECT_UNLOCK(d);
    GstFlowReturn result = GST_FLOW_OK;
    for (AudioStream& a : *d->audio) {
        if (sizes[a.track] == 0) {
            if (a.pushing) gst_pad_push_event(a.pad, gst_event_new_gap(pts, duration));
            continue;
        }
        GstBuffer* buf = gst_buffer_copy_region(packet, GST_BUFFER_COPY_ALL, size_t(data[a.track] - map.data),
                                                sizes[a.track]);
        const GstFlowReturn flow = PushAudio(d, a, frame, buf);
        if (flow != GST_FLOW_OK) result = flow;
    }
    gst_buffer_unmap(packet, &map);
    if (damaged) {
        GST_ELEMENT_WARNING(d, STREAM, DEMUX, ("Frame %u of the file is damaged.", frame),
                            ("its audio lengths run past the packet"));
    }
    if (frame < d->video_from) return result;
    GstBuffer* video = gst_buffer_copy_region(packet, GST_BUFFER_COPY_ALL, video_offset,
                                              gst_buffer_get_size(packet) - video_offset);
    GST_BUFFER_PTS(video) = GST_BUFFER_DTS(video) = pts;
    GST_BUFFER_DURATION(video) = duration;
    GST_BUFFER_OFFSET(video) = frame;
    if (!key) GST_BUFFER_FLAG_SET(video, GST_BUFFER_FLAG_DELTA_UNIT);
    const GstFlowReturn v =
        gst_flow_combiner_update_pad_flow(d->combiner, d->video, gst_pad_push(d->video, video));
    GST_OBJECT_LOCK(d);
    d->segment.position = pts;
    GST_OBJECT_UNLOCK(d);
    return v != GST_FLOW_OK ? v : result;
}

// After the last frame of the segment: EOS, or the segment's end message.
void EndSegment(ZarnDemux* d) {
    if (d->segment.flags & GST_SEGMENT_FLAG_SEGMENT) {
        const gint64 stop =
            GST_CLOCK_TIME_IS_VALID(d->segment.stop) ? gint64(d->segment.stop) : gint64(Duration(d));
        GstMessage* m = gst_message_new_segment_done(GST_OBJECT(d), GST_FORMAT_TIME, stop);
        gst_message_set_seqnum(m, d->seqnum);
        gst_element_post_message(GST_ELEMENT(d), m);
        GstEvent* e = gst_event_new_segment_done(GST_FORMAT_TIME, stop);
        gst_event_set_seqnum(e, d->seqnum);
        PushToAll(d, e);
    } else {
        GstEvent* e = gst_event_new_eos();
        gst_event_set_seqnum(e, d->seqnum);
        PushToAll(d, e);
    }
}

void StopOnFlow(ZarnDemux* d, GstFlowReturn flow) {
    gst_pad_pause_task(d->sink);
    if (flow == GST_FLOW_EOS) {
        EndSegment(d);
    } else if (flow == GST_FLOW_NOT_LINKED || flow < GST_FLOW_EOS) {
        GST_ELEMENT_FLOW_ERROR(d, flow);
        PushToAll(d, gst_event_new_eos());
    }
}

// The error of a file whose data stops inside frame `frame`.
void PostEndsEarly(ZarnDemux* d, uint32_t frame) {
    GST_ELEMENT_ERROR(d, STREAM, DEMUX, ("The file ends early, inside frame %u.", frame), (nullptr));
}

GstFlowReturn PullExact(ZarnDemux* d, uint64_t offset, guint size, GstBuffer** buffer) {
    *buffer = nullptr;
    GstFlowReturn flow = gst_pad_pull_range(d->sink, offset, size, buffer);
    if (flow != GST_FLOW_OK) return flow;
    if (gst_buffer_get_size(*buffer) < size) {
        gst_buffer_unref(*buffer);
        *buffer = nullptr;
        return GST_FLOW_EOS;
    }
    return GST_FLOW_OK;
}

// A bin that is still trying this element may drop the errors it posts:
// decodebin does until it has set the element to its own state and hands
// the state back (the element's state is locked until then). The task
// holds an error back while that lasts, for at most two seconds, so that
// a state locked for good cannot keep the file from ending.
bool MayPostError(ZarnDemux* d) {
    GST_OBJECT_LOCK(d);
    const bool settled = GST_STATE_PENDING(d) == GST_STATE_VOID_PENDING && GST_STATE(d) >= GST_STATE_PAUSED &&
                         !GST_ELEMENT_IS_LOCKED_STATE(d);
    GST_OBJECT_UNLOCK(d);
    const gint64 now = g_get_monotonic_time();
    if (d->error_deadline == 0) d->error_deadline = now + 2 * G_USEC_PER_SEC;
    return settled || now >= d->error_deadline;
}

// Reads and checks the header and tables in pull mode. This happens while
// the pad is activated, so that a file that is not usable fails the state
// change: a bin that tries elements in turn then reports its error.
GstFlowReturn PullHeader(ZarnDemux* d) {
    GstBuffer* buf = nullptr;
    GstFlowReturn flow = PullExact(d, 0, ZARN_HEADER_BYTES, &buf);
    if (flow == GST_FLOW_EOS) {
        GST_ELEMENT_ERROR(d, STREAM, DEMUX, ("The file is too short to be a Zarn video."), (nullptr));
        return GST_FLOW_ERROR;
    }
    if (flow != GST_FLOW_OK) return flow;
    GstMapInfo map;
    gst_buffer_map(buf, &map, GST_MAP_READ);
    const zarn_status status = zarn_parse_header(map.data, map.size, &d->header);
    gst_buffer_unmap(buf, &map);
    gst_buffer_unref(buf);
    if (status != ZARN_OK) {
        GST_ELEMENT_ERROR(d, STREAM, DEMUX,
                          ("The file's header cannot be used: %s.", zarn_status_text(status)), (nullptr));
        return GST_FLOW_ERROR;
    }
    flow = PullExact(d, 0, guint(d->header.data_start), &buf);
    if (flow != GST_FLOW_OK) {
        if (flow == GST_FLOW_EOS)
            GST_ELEMENT_ERROR(d, STREAM, DEMUX, ("The file ends inside its frame index."), (nullptr));
        return flow == GST_FLOW_EOS ? GST_FLOW_ERROR : flow;
    }
    gst_buffer_map(buf, &map, GST_MAP_READ);
    const bool ok = TakeTables(d, map.data);
    gst_buffer_unmap(buf, &map);
    gst_buffer_unref(buf);
    if (!ok) {
        GST_ELEMENT_ERROR(d, STREAM, DEMUX, ("The file's frame index cannot be used."), (nullptr));
        return GST_FLOW_ERROR;
    }
    return GST_FLOW_OK;
}

}  // namespace

void ZarnDemuxLoop(GstPad* pad) {
    ZarnDemux* d = Demux(GST_PAD_PARENT(pad));
    GstFlowReturn flow = GST_FLOW_OK;
    if (!d->video) AddPads(d);
    SendSegment(d);
    const uint32_t frame = d->next_frame;
    if (frame >= d->stop_frame || frame >= d->header.frame_count) {
        StopOnFlow(d, GST_FLOW_EOS);
        return;
    }
    const uint64_t begin = (*d->index)[frame] & ~1u, end = (*d->index)[frame + 1] & ~1u;
    GstBuffer* packet = nullptr;
    flow = PullExact(d, begin, guint(end - begin), &packet);
    if (flow == GST_FLOW_EOS) {
        if (!MayPostError(d)) {
            g_usleep(1000);  // the task calls again, for the same frame
            return;
        }
        PostEndsEarly(d, frame);
        gst_pad_pause_task(pad);
        PushToAll(d, gst_event_new_eos());
        return;
    }
    if (flow != GST_FLOW_OK) {
        StopOnFlow(d, flow);
        return;
    }
    flow = PushFrame(d, frame, packet);
    gst_buffer_unref(packet);
    d->next_frame = frame + 1;
    if (flow != GST_FLOW_OK) StopOnFlow(d, flow);
}

namespace {

// Push mode: takes what the adapter holds as far as it goes.
GstFlowReturn ChainTake(ZarnDemux* d) {
    if (!d->have_header) {
        if (gst_adapter_available(d->adapter) < ZARN_HEADER_BYTES) return GST_FLOW_OK;
        guint8 bytes[ZARN_HEADER_BYTES];
        gst_adapter_copy(d->adapter, bytes, 0, ZARN_HEADER_BYTES);
        const zarn_status status = zarn_parse_header(bytes, sizeof bytes, &d->header);
        if (status != ZARN_OK) {
            GST_ELEMENT_ERROR(d, STREAM, DEMUX,
                              ("The file's header cannot be used: %s.", zarn_status_text(status)), (nullptr));
            return GST_FLOW_ERROR;
        }
        if (gst_adapter_available(d->adapter) < d->header.data_start) return GST_FLOW_OK;
        const auto* tables = static_cast<const guint8*>(gst_adapter_map(d->adapter, d->header.data_start));
        const bool ok = TakeTables(d, tables);
        gst_adapter_unmap(d->adapter);
        gst_adapter_flush(d->adapter, d->header.data_start);
        d->offset = d->header.data_start;
        if (!ok) {
            GST_ELEMENT_ERROR(d, STREAM, DEMUX, ("The file's frame index cannot be used."), (nullptr));
            return GST_FLOW_ERROR;
        }
        AddPads(d);
    }
    if (d->ended) return GST_FLOW_EOS;
    SendSegment(d);
    while (d->next_frame < d->stop_frame) {
        const uint32_t frame = d->next_frame;
        const uint64_t begin = (*d->index)[frame] & ~1u, end = (*d->index)[frame + 1] & ~1u;
        if (begin > d->offset) {  // bytes between frames: skip them
            const uint64_t gap = begin - d->offset;
            if (gst_adapter_available(d->adapter) < gap) return GST_FLOW_OK;
            gst_adapter_flush(d->adapter, gap);
            d->offset = begin;
        }
        if (gst_adapter_available(d->adapter) < end - begin) return GST_FLOW_OK;
        GstBuffer* packet = gst_adapter_take_buffer(d->adapter, end - begin);
        d->offset = end;
        const GstFlowReturn flow = PushFrame(d, frame, packet);
        gst_buffer_unref(packet);
        d->next_frame = frame + 1;
        if (flow != GST_FLOW_OK) return flow;
    }
    // The source may go on past a segment's end: the end is told from here.
    EndSegment(d);
    d->ended = true;
    return GST_FLOW_EOS;
}

GstFlowReturn SinkChain(GstPad*, GstObject* parent, GstBuffer* buffer) {
    ZarnDemux* d = Demux(parent);
    gst_adapter_push(d->adapter, buffer);
    return ChainTake(d);
}

gboolean SinkEvent(GstPad* pad, GstObject* parent, GstEvent* event) {
    ZarnDemux* d = Demux(parent);
    switch (GST_EVENT_TYPE(event)) {
    case GST_EVENT_SEGMENT:
    case GST_EVENT_STREAM_START:
    case GST_EVENT_CAPS:
        gst_event_unref(event);  // the demuxer makes its own
        return TRUE;
    case GST_EVENT_EOS:
        if (d->ended) {
            gst_event_unref(event);
            return TRUE;
        }
        if (!d->have_header || d->next_frame < d->stop_frame) {
            PostEndsEarly(d, d->next_frame);
        }
        if (d->video)
            PushToAll(d, event);
        else
            gst_event_unref(event);
        return TRUE;
    case GST_EVENT_FLUSH_STOP: {
        gst_adapter_clear(d->adapter);
        GST_OBJECT_LOCK(d);
        const bool planned = d->has_pending;
        d->has_pending = false;
        GST_OBJECT_UNLOCK(d);
        if (planned) {
            ApplyPlan(d, *d->pending);
            d->offset = (*d->index)[d->pending->first_frame] & ~1u;
        }
        return gst_pad_event_default(pad, parent, event);
    }
    default: return gst_pad_event_default(pad, parent, event);
    }
}

gboolean SinkActivate(GstPad* pad, GstObject*) {
    GstQuery* query = gst_query_new_scheduling();
    bool pull = false;
    if (gst_pad_peer_query(pad, query))
        pull =
            gst_query_has_scheduling_mode_with_flags(query, GST_PAD_MODE_PULL, GST_SCHEDULING_FLAG_SEEKABLE);
    gst_query_unref(query);
    GST_DEBUG_OBJECT(pad, "activating in %s mode", pull ? "pull" : "push");
    return gst_pad_activate_mode(pad, pull ? GST_PAD_MODE_PULL : GST_PAD_MODE_PUSH, TRUE);
}

gboolean SinkActivateMode(GstPad* pad, GstObject* parent, GstPadMode mode, gboolean active) {
    ZarnDemux* d = Demux(parent);
    if (mode == GST_PAD_MODE_PUSH) {
        d->push_mode = true;
        return TRUE;
    }
    if (mode != GST_PAD_MODE_PULL) return FALSE;
    d->push_mode = false;
    if (!active) return gst_pad_stop_task(pad);
    if (!d->have_header && PullHeader(d) != GST_FLOW_OK) return FALSE;
    return gst_pad_start_task(pad, reinterpret_cast<GstTaskFunction>(ZarnDemuxLoop), pad, nullptr);
}

GstStateChangeReturn ChangeState(GstElement* element, GstStateChange transition) {
    ZarnDemux* d = Demux(element);
    if (transition == GST_STATE_CHANGE_READY_TO_PAUSED) ResetDemux(d);
    const GstStateChangeReturn r =
        GST_ELEMENT_CLASS(zarn_demux_parent_class)->change_state(element, transition);
    if (transition == GST_STATE_CHANGE_PAUSED_TO_READY) ResetDemux(d);
    return r;
}

void Finalize(GObject* object) {
    ZarnDemux* d = Demux(object);
    delete d->index;
    delete d->tracks;
    delete d->audio;
    delete d->positions;
    delete d->pending;
    gst_flow_combiner_free(d->combiner);
    g_object_unref(d->adapter);
    G_OBJECT_CLASS(zarn_demux_parent_class)->finalize(object);
}

}  // namespace

static void zarn_demux_class_init(ZarnDemuxClass* klass) {
    GST_DEBUG_CATEGORY_INIT(zarn_demux_debug, "zarndemux", 0, "Zarn demuxer");
    G_OBJECT_CLASS(klass)->finalize = Finalize;
    GstElementClass* element = GST_ELEMENT_CLASS(klass);
    element->change_state = ChangeState;
    gst_element_class_add_static_pad_template(element, &sink_template);
    gst_element_class_add_static_pad_template(element, &video_template);
    gst_element_class_add_static_pad_template(element, &audio_template);
    gst_element_class_set_static_metadata(element, "Zarn demuxer", "Codec/Demuxer",
                                          "Splits a Zarn video (.zrn) into its video and audio tracks",
                                          "The Zarn developers");
}

static void zarn_demux_init(ZarnDemux* d) {
    d->sink = gst_pad_new_from_static_template(&sink_template, "sink");
    gst_pad_set_activate_function(d->sink, SinkActivate);
    gst_pad_set_activatemode_function(d->sink, SinkActivateMode);
    gst_pad_set_chain_function(d->sink, SinkChain);
    gst_pad_set_event_function(d->sink, SinkEvent);
    gst_element_add_pad(GST_ELEMENT(d), d->sink);
    d->index = new std::vector<uint32_t>;
    d->tracks = new std::vector<uint32_t>;
    d->audio = new std::vector<AudioStream>;
    d->positions = new AudioPositions;
    d->pending = new SeekPlan;
    d->video = nullptr;
    d->combiner = gst_flow_combiner_new();
    d->adapter = gst_adapter_new();
    ResetDemux(d);
}
