// zarndemux: splits a Zarn file into its video data and one stream per
// audio track. Pull mode reads the frame index and seeks anywhere; push
// mode (a pipe) plays the frames in order.
#include <gst/base/gstadapter.h>
#include <gst/base/gstflowcombiner.h>

#include <vector>

#include "gst/elements.h"
#include "zarn/zarn.h"

GST_DEBUG_CATEGORY_STATIC(zarn_demux_debug);
#define GST_CAT_DEFAULT zarn_demux_debug

namespace {

struct AudioStream {
    GstPad* pad = nullptr;
    uint32_t track = 0;
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
    uint64_t offset;      // push mode: bytes taken from the adapter so far
    uint32_t next_frame;  // the frame the loop pushes next
    uint32_t stop_frame;  // one past the last frame of the segment
    GstSegment segment;
    bool send_segment;
    uint32_t seqnum;
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
    }
    d->audio->clear();
}

void ResetDemux(ZarnDemux* d) {
    RemovePads(d);
    d->have_header = false;
    d->header = zarn_header{};
    d->index->clear();
    d->tracks->clear();
    gst_adapter_clear(d->adapter);
    d->offset = 0;
    d->next_frame = 0;
    d->stop_frame = 0;
    gst_segment_init(&d->segment, GST_FORMAT_TIME);
    d->send_segment = true;
    d->seqnum = gst_util_seqnum_next();
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
            gst_query_set_seeking(query, GST_FORMAT_TIME, !d->push_mode, 0, Duration(d));
            return TRUE;
        }
        default:
            return gst_pad_query_default(pad, parent, query);
    }
}

void PushToAll(ZarnDemux* d, GstEvent* event) {
    if (d->video) gst_pad_push_event(d->video, gst_event_ref(event));
    for (AudioStream& a : *d->audio) gst_pad_push_event(a.pad, gst_event_ref(event));
    gst_event_unref(event);
}

// Flushing or not, key-frame or accurate, segment or plain: the new
// segment is worked out by GstSegment; playback restarts at the key frame
// at or before its start, and the decoders drop what precedes the start.
gboolean Seek(ZarnDemux* d, GstEvent* event) {
    if (d->push_mode || !d->have_header || !d->video) return FALSE;
    gdouble rate;
    GstFormat format;
    GstSeekFlags flags;
    GstSeekType start_type, stop_type;
    gint64 start, stop;
    gst_event_parse_seek(event, &rate, &format, &flags, &start_type, &start, &stop_type, &stop);
    if (format != GST_FORMAT_TIME || rate <= 0.0) return FALSE;
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
    GstSegment segment = d->segment;
    gboolean update;
    gst_segment_do_seek(&segment, rate, format, flags, start_type, start, stop_type, stop, &update);
    const uint32_t target = FrameAt(d, segment.start);
    const uint32_t key = KeyFrameAtOrBefore(d, target);
    if (flags & GST_SEEK_FLAG_KEY_UNIT) {
        const GstClockTime key_time = FrameTime(d, key);
        segment.start = segment.time = segment.position = key_time;
    }
    uint32_t stop_frame = d->header.frame_count;
    if (GST_CLOCK_TIME_IS_VALID(segment.stop)) stop_frame = MIN(stop_frame, FrameAt(d, segment.stop) + 1);
    GST_OBJECT_LOCK(d);
    d->segment = segment;
    d->next_frame = key;
    d->stop_frame = MAX(stop_frame, key + 1);
    GST_OBJECT_UNLOCK(d);
    d->send_segment = true;
    d->seqnum = seqnum;
    if (flush) {
        GstEvent* e = gst_event_new_flush_stop(TRUE);
        gst_event_set_seqnum(e, seqnum);
        PushToAll(d, e);
    }
    gst_flow_combiner_reset(d->combiner);
    if (flags & GST_SEEK_FLAG_SEGMENT) {
        GstMessage* m = gst_message_new_segment_start(GST_OBJECT(d), GST_FORMAT_TIME, segment.start);
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
        "video/x-zarn", "systemstream", G_TYPE_BOOLEAN, FALSE, "version", G_TYPE_STRING, version, "width", G_TYPE_INT, gint(h.width), "height",
        G_TYPE_INT, gint(h.height), "framerate", GST_TYPE_FRACTION, gint(h.rate_num), gint(MAX(h.rate_den, 1u)),
        "video-flags", G_TYPE_UINT, h.video_flags, nullptr);
    d->video = NewPad(d, &video_template, "video", caps, "video");
    for (uint32_t t = 0; t < h.audio_tracks; ++t) {
        const uint32_t format = (*d->tracks)[t];
        if (!(format & kTrackHasAudio) || (format & 0xFFFF) == 0) continue;
        GstCaps* a = gst_caps_new_simple("audio/x-zarn", "rate", G_TYPE_INT, gint(format & 0xFFFF), "channels",
                                         G_TYPE_INT, (format & kTrackStereo) ? 2 : 1, nullptr);
        gchar* name = g_strdup_printf("audio_%u", t);
        AudioStream s;
        s.track = t;
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
    for (uint32_t t = 0; t < h.audio_tracks; ++t) d->tracks->push_back(ReadLe32(p + 4 * t));
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

// Pushes frame `frame`'s parts; `packet` is its whole packet.
GstFlowReturn PushFrame(ZarnDemux* d, uint32_t frame, GstBuffer* packet) {
    const GstClockTime pts = FrameTime(d, frame), duration = FrameTime(d, frame + 1) - pts;
    const bool key = (*d->index)[frame] & 1;
    GstMapInfo map;
    if (!gst_buffer_map(packet, &map, GST_MAP_READ)) return GST_FLOW_ERROR;
    size_t video_offset = map.size;
    GstFlowReturn result = GST_FLOW_OK;
    bool damaged = false;
    if (d->header.audio_tracks == 0) video_offset = 0;
    for (uint32_t t = 0; t < d->header.audio_tracks; ++t) {
        const uint8_t* data = nullptr;
        size_t size = 0;
        if (zarn_packet_audio(map.data, map.size, d->header.audio_tracks, t, &data, &size, &video_offset) !=
            ZARN_OK) {
            damaged = true;
            break;
        }
        for (AudioStream& a : *d->audio) {
            if (a.track != t) continue;
            if (size == 0) {
                gst_pad_push_event(a.pad, gst_event_new_gap(pts, duration));
                continue;
            }
            GstBuffer* buf =
                gst_buffer_copy_region(packet, GST_BUFFER_COPY_ALL, size_t(data - map.data), size);
            GST_BUFFER_PTS(buf) = GST_BUFFER_DTS(buf) = pts;
            // The sound the packet yields: its first word counts 16-bit bytes.
            const uint32_t format = (*d->tracks)[t];
            const uint64_t frames = size >= 4 ? ReadLe32(data) / ((format & kTrackStereo) ? 4 : 2) : 0;
            GST_BUFFER_DURATION(buf) = gst_util_uint64_scale(frames, GST_SECOND, format & 0xFFFF);
            if (d->next_frame == frame && frame == 0) GST_BUFFER_FLAG_SET(buf, GST_BUFFER_FLAG_DISCONT);
            result = gst_flow_combiner_update_pad_flow(d->combiner, a.pad, gst_pad_push(a.pad, buf));
        }
    }
    gst_buffer_unmap(packet, &map);
    if (damaged) {
        GST_ELEMENT_WARNING(d, STREAM, DEMUX, ("Frame %u of the file is damaged.", frame),
                            ("its audio lengths run past the packet"));
        video_offset = gst_buffer_get_size(packet);
    }
    GstBuffer* video = gst_buffer_copy_region(packet, GST_BUFFER_COPY_ALL, video_offset,
                                              gst_buffer_get_size(packet) - video_offset);
    GST_BUFFER_PTS(video) = GST_BUFFER_DTS(video) = pts;
    GST_BUFFER_DURATION(video) = duration;
    GST_BUFFER_OFFSET(video) = frame;
    if (!key) GST_BUFFER_FLAG_SET(video, GST_BUFFER_FLAG_DELTA_UNIT);
    const GstFlowReturn v = gst_flow_combiner_update_pad_flow(d->combiner, d->video, gst_pad_push(d->video, video));
    GST_OBJECT_LOCK(d);
    d->segment.position = pts;
    GST_OBJECT_UNLOCK(d);
    return v != GST_FLOW_OK ? v : result;
}

// After the last frame of the segment: EOS, or the segment's end message.
void EndSegment(ZarnDemux* d) {
    if (d->segment.flags & GST_SEGMENT_FLAG_SEGMENT) {
        const gint64 stop = GST_CLOCK_TIME_IS_VALID(d->segment.stop) ? gint64(d->segment.stop) : gint64(Duration(d));
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
        GST_ELEMENT_ERROR(d, STREAM, DEMUX, ("The file's header cannot be used: %s.", zarn_status_text(status)),
                          (nullptr));
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
        GST_ELEMENT_ERROR(d, STREAM, DEMUX, ("The file ends early, inside frame %u.", frame), (nullptr));
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
            GST_ELEMENT_ERROR(d, STREAM, DEMUX, ("The file's header cannot be used: %s.", zarn_status_text(status)),
                              (nullptr));
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
    SendSegment(d);
    while (d->next_frame < d->header.frame_count) {
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
            if (!d->have_header || d->next_frame < d->header.frame_count) {
                GST_ELEMENT_ERROR(d, STREAM, DEMUX, ("The file ends early, inside frame %u.", d->next_frame),
                                  (nullptr));
            }
            if (d->video) PushToAll(d, event);
            else gst_event_unref(event);
            return TRUE;
        case GST_EVENT_FLUSH_STOP:
            gst_adapter_clear(d->adapter);
            return gst_pad_event_default(pad, parent, event);
        default:
            return gst_pad_event_default(pad, parent, event);
    }
}

gboolean SinkActivate(GstPad* pad, GstObject*) {
    GstQuery* query = gst_query_new_scheduling();
    bool pull = false;
    if (gst_pad_peer_query(pad, query))
        pull = gst_query_has_scheduling_mode_with_flags(query, GST_PAD_MODE_PULL, GST_SCHEDULING_FLAG_SEEKABLE);
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
    const GstStateChangeReturn r = GST_ELEMENT_CLASS(zarn_demux_parent_class)->change_state(element, transition);
    if (transition == GST_STATE_CHANGE_PAUSED_TO_READY) ResetDemux(d);
    return r;
}

void Finalize(GObject* object) {
    ZarnDemux* d = Demux(object);
    delete d->index;
    delete d->tracks;
    delete d->audio;
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
    d->video = nullptr;
    d->combiner = gst_flow_combiner_new();
    d->adapter = gst_adapter_new();
    ResetDemux(d);
}
