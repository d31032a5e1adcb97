// Seeks through zarndemux ! zarnvideodec ! appsink, in pull mode and in
// push mode (a queue before the demuxer), and checks that the picture
// after an accurate seek is the library's picture of that frame and the
// first track's sound there the library's samples from the start, that a
// key-frame seek lands on a key frame, and that position and duration
// answer in time. With --damaged, plays each file through decodebin and
// checks that it ends, with an error for the files named cut-* and an
// error or a warning for the others. Exit 0 on success, 1 with a message,
// 77 when the plugin cannot be loaded.
#include <gst/app/gstappsink.h>
#include <gst/audio/audio.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "zarn/zarn.h"

namespace {

int failures = 0;

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "FAILED: %s\n", what);
        ++failures;
    }
}

// The picture the library gives for `frame`, compared with the sample's.
bool SameAsLibrary(const char* path, uint32_t frame, GstSample* sample) {
    zarn_movie* movie = nullptr;
    if (zarn_open_file(path, 0, &movie) != ZARN_OK) return false;
    zarn_planes p;
    bool same = zarn_seek(movie, frame) == ZARN_OK && zarn_decode_frame(movie) == ZARN_OK &&
                zarn_get_planes(movie, &p) == ZARN_OK;
    GstVideoInfo info;
    GstVideoFrame v;
    same = same && gst_video_info_from_caps(&info, gst_sample_get_caps(sample)) &&
           gst_video_frame_map(&v, &info, gst_sample_get_buffer(sample), GST_MAP_READ);
    if (!same) {
        zarn_close(movie);
        return false;
    }
    const uint8_t* planes[3] = {p.y, p.u, p.v};
    const int32_t strides[3] = {p.y_stride, p.uv_stride, p.uv_stride};
    for (int k = 0; k < 3 && same; ++k) {
        const uint32_t w = k ? p.chroma_width : p.width, h = k ? p.chroma_height : p.height;
        const auto* to = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&v, k));
        const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(&v, k);
        for (uint32_t r = 0; r < h && same; ++r)
            same = std::memcmp(planes[k] + size_t(r) * strides[k], to + size_t(r) * stride, w) == 0;
    }
    gst_video_frame_unmap(&v);
    zarn_close(movie);
    return same;
}

GstClockTime FrameTime(const zarn_info& i, uint32_t frame) {
    return gst_util_uint64_scale(frame, GST_SECOND * i.rate_den, i.rate_num);
}

// Track 0's whole sound as a plain decode from the start gives it, and
// where each frame's sound starts (in samples).
struct Sound {
    std::vector<int16_t> samples;
    std::vector<size_t> frame_starts;
    zarn_track_info track{};
};

Sound LibrarySound(const char* path) {
    Sound sound;
    zarn_movie* movie = nullptr;
    if (zarn_open_file(path, 0, &movie) != ZARN_OK) return sound;
    if (zarn_get_track_info(movie, 0, &sound.track) == ZARN_OK &&
        zarn_select_audio_track(movie, 0) == ZARN_OK) {
        int16_t chunk[8192];
        size_t count = 0;
        for (zarn_status st = zarn_decode_frame(movie); st == ZARN_OK || st == ZARN_ERROR_CORRUPT_FRAME;
             st = zarn_decode_frame(movie)) {
            sound.frame_starts.push_back(sound.samples.size());
            while (zarn_read_audio(movie, chunk, 8192, &count) == ZARN_OK && count > 0)
                sound.samples.insert(sound.samples.end(), chunk, chunk + count);
        }
    }
    zarn_close(movie);
    return sound;
}

// The sample's sound starts at `time` and is the library's sound there.
bool SoundAt(GstSample* sample, GstClockTime time, const std::vector<int16_t>& sound) {
    if (!sample) return false;
    GstAudioInfo info;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    if (!gst_audio_info_from_caps(&info, gst_sample_get_caps(sample)) ||
        GST_CLOCK_DIFF(time, GST_BUFFER_PTS(buffer)) > gint64(GST_SECOND / info.rate) ||
        GST_CLOCK_DIFF(GST_BUFFER_PTS(buffer), time) > gint64(GST_SECOND / info.rate))
        return false;
    // Clipping keeps the sample the start falls in.
    const size_t from =
        size_t(gst_util_uint64_scale(GST_BUFFER_PTS(buffer), info.rate, GST_SECOND)) * info.channels;
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) return false;
    const size_t count = map.size / 2;
    bool same = count > 0 && from + count <= sound.size() &&
                std::memcmp(map.data, sound.data() + from, count * 2) == 0;
    gst_buffer_unmap(buffer, &map);
    return same;
}

GstSample* SeekAndPull(GstElement* pipeline, GstElement* sink, GstSeekFlags flags, GstClockTime time) {
    if (!gst_element_seek_simple(pipeline, GST_FORMAT_TIME, GstSeekFlags(GST_SEEK_FLAG_FLUSH | flags),
                                 gint64(time)))
        return nullptr;
    gst_element_get_state(pipeline, nullptr, nullptr, 10 * GST_SECOND);
    return gst_app_sink_try_pull_preroll(GST_APP_SINK(sink), 10 * GST_SECOND);
}

// Plays `path` through decodebin to an error or the end: 1 error, 2 the
// end after a warning, 0 the end, -1 neither within the time allowed.
int PlayToTheEnd(const char* path) {
    gchar* description = g_strdup_printf("filesrc location=\"%s\" ! decodebin ! fakesink", path);
    GstElement* pipeline = gst_parse_launch(description, nullptr);
    g_free(description);
    if (!pipeline) return -1;
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(pipeline);
    const GstClockTime deadline = gst_util_get_timestamp() + 20 * GST_SECOND;
    bool warned = false;
    int result = -1;
    while (result < 0) {
        const GstClockTime now = gst_util_get_timestamp();
        if (now >= deadline) break;
        GstMessage* m = gst_bus_timed_pop_filtered(
            bus, deadline - now, GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_EOS | GST_MESSAGE_WARNING));
        if (!m) break;
        if (GST_MESSAGE_TYPE(m) == GST_MESSAGE_WARNING)
            warned = true;
        else
            result = GST_MESSAGE_TYPE(m) == GST_MESSAGE_ERROR ? 1 : warned ? 2 : 0;
        gst_message_unref(m);
    }
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return result;
}

int CheckDamaged(int count, char** paths) {
    for (int k = 0; k < count; ++k) {
        const int r = PlayToTheEnd(paths[k]);
        gchar* name = g_path_get_basename(paths[k]);
        const bool cut = std::strncmp(name, "cut-", 4) == 0;
        g_free(name);
        if (r < 0)
            std::fprintf(stderr, "FAILED: %s neither ends nor fails\n", paths[k]);
        else if (cut && r != 1)
            std::fprintf(stderr, "FAILED: %s ends without an error\n", paths[k]);
        else if (r == 0)
            std::fprintf(stderr, "FAILED: %s ends with neither an error nor a warning\n", paths[k]);
        else
            continue;
        ++failures;
    }
    if (failures == 0)
        std::printf("damaged files: all ended, the cut ones with an error, the others warned\n");
    return failures ? 1 : 0;
}

// Every seek check on one pipeline, the demuxer in pull or push mode.
void CheckSeeks(const char* path, bool push) {
    const int before = failures;
    zarn_movie* movie = nullptr;
    zarn_info info{};
    if (zarn_open_file(path, 0, &movie) != ZARN_OK || zarn_get_info(movie, &info) != ZARN_OK) {
        std::fprintf(stderr, "FAILED: cannot open %s\n", path);
        ++failures;
        return;
    }
    zarn_close(movie);
    // Queues on the branches: each sink holds its streaming thread while prerolled.
    const Sound sound = info.audio_tracks ? LibrarySound(path) : Sound();
    gchar* description = g_strdup_printf(
        "filesrc location=\"%s\" %s ! zarndemux name=d d.video ! queue ! zarnvideodec ! appsink name=out "
        "sync=false "
        "%s",
        path, push ? "! queue" : "",
        info.audio_tracks ? "d.audio_0 ! queue ! zarnaudiodec ! appsink name=sound sync=false" : "");
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(description, &error);
    g_free(description);
    if (!pipeline) {
        std::fprintf(stderr, "FAILED: pipeline: %s\n", error ? error->message : "?");
        ++failures;
        return;
    }
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "out");
    GstElement* sound_sink = gst_bin_get_by_name(GST_BIN(pipeline), "sound");
    gst_element_set_state(pipeline, GST_STATE_PAUSED);
    Check(gst_element_get_state(pipeline, nullptr, nullptr, 10 * GST_SECOND) == GST_STATE_CHANGE_SUCCESS,
          "the pipeline prerolls");

    gint64 duration = -1;
    Check(gst_element_query_duration(pipeline, GST_FORMAT_TIME, &duration) &&
              GstClockTime(duration) == FrameTime(info, info.frame_count),
          "duration is frame_count frames");

    // Accurate seeks to frames that are not key frames, forward and back.
    const uint32_t targets[] = {info.frame_count - 2, info.frame_count / 2 + 1, 3};
    for (uint32_t frame : targets) {
        GstSample* s = SeekAndPull(pipeline, sink, GST_SEEK_FLAG_ACCURATE, FrameTime(info, frame));
        Check(s != nullptr, "a picture after an accurate seek");
        if (!s) continue;
        Check(GST_BUFFER_PTS(gst_sample_get_buffer(s)) == FrameTime(info, frame), "accurate seek: timestamp");
        Check(SameAsLibrary(path, frame, s), "accurate seek: the library's picture of the frame");
        if (sound_sink) {
            GstSample* a = gst_app_sink_try_pull_preroll(GST_APP_SINK(sound_sink), 10 * GST_SECOND);
            Check(SoundAt(a, FrameTime(info, frame), sound.samples),
                  "accurate seek: the sound of the frame's time");
            if (a) gst_sample_unref(a);
        }
        gint64 position = -1;
        Check(gst_element_query_position(pipeline, GST_FORMAT_TIME, &position) &&
                  GstClockTime(position) == FrameTime(info, frame),
              "position after an accurate seek");
        gst_sample_unref(s);
    }

    // An accurate seek to where a frame's sound starts: its first samples
    // fade in from the frame before, which the decoder must have been given.
    const uint32_t fade = info.frame_count / 2 + 2;
    if (sound_sink && fade < sound.frame_starts.size()) {
        const uint32_t rate = sound.track.rate, channels = sound.track.channels;
        const GstClockTime time =
            gst_util_uint64_scale_ceil(sound.frame_starts[fade] / channels, GST_SECOND, rate);
        GstSample* v = SeekAndPull(pipeline, sink, GST_SEEK_FLAG_ACCURATE, time);
        if (v) gst_sample_unref(v);
        GstSample* a = gst_app_sink_try_pull_preroll(GST_APP_SINK(sound_sink), 10 * GST_SECOND);
        Check(SoundAt(a, time, sound.samples), "accurate seek: the sound where a packet's sound starts");
        if (a) gst_sample_unref(a);
    }

    // A key-frame seek just past a key frame lands on a key frame at or before.
    GstSample* s =
        SeekAndPull(pipeline, sink, GstSeekFlags(GST_SEEK_FLAG_KEY_UNIT | GST_SEEK_FLAG_SNAP_BEFORE),
                    FrameTime(info, info.frame_count - 1));
    Check(s != nullptr, "a picture after a key-frame seek");
    if (s) {
        GstBuffer* b = gst_sample_get_buffer(s);
        Check(!GST_BUFFER_FLAG_IS_SET(b, GST_BUFFER_FLAG_DELTA_UNIT), "key-frame seek: a key frame");
        Check(GST_BUFFER_PTS(b) < FrameTime(info, info.frame_count - 1), "key-frame seek: before the target");
        gst_sample_unref(s);
    }

    // A segment seek over frames 2-5 plays exactly those and ends with the
    // segment's end message instead of the stream's end.
    const GstClockTime from = FrameTime(info, 2), to = FrameTime(info, 6);
    Check(gst_element_seek(pipeline, 1.0, GST_FORMAT_TIME,
                           GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_SEGMENT | GST_SEEK_FLAG_ACCURATE),
                           GST_SEEK_TYPE_SET, gint64(from), GST_SEEK_TYPE_SET, gint64(to)),
          "a segment seek");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* done = gst_bus_timed_pop_filtered(
        bus, 10 * GST_SECOND, GstMessageType(GST_MESSAGE_SEGMENT_DONE | GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    Check(done && GST_MESSAGE_TYPE(done) == GST_MESSAGE_SEGMENT_DONE,
          "a segment seek ends with segment-done");
    if (done) gst_message_unref(done);
    gst_object_unref(bus);
    std::vector<GstClockTime> played;
    while (GstSample* p = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), GST_SECOND / 2)) {
        played.push_back(GST_BUFFER_PTS(gst_sample_get_buffer(p)));
        gst_sample_unref(p);
        if (played.size() > info.frame_count) break;
    }
    Check(played.size() == 4 && played.front() == from && played.back() == FrameTime(info, 5),
          "a segment seek plays the frames of the segment");
    if (failures > before) std::fprintf(stderr, "(in %s mode)\n", push ? "push" : "pull");

    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(sink);
    if (sound_sink) gst_object_unref(sound_sink);
    gst_object_unref(pipeline);
}

}  // namespace

int main(int argc, char** argv) {
    gst_init(&argc, &argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: gst_seek_test FILE.zrn (key frames apart) | --damaged FILE...\n");
        return 1;
    }
    GstPlugin* plugin = gst_registry_find_plugin(gst_registry_get(), "zarn");
    if (!plugin) {
        std::printf("SKIP: the zarn GStreamer plugin is not on GST_PLUGIN_PATH\n");
        return 77;
    }
    gst_object_unref(plugin);
    if (std::strcmp(argv[1], "--damaged") == 0) return CheckDamaged(argc - 2, argv + 2);
    const int before = failures;
    CheckSeeks(argv[1], false);
    CheckSeeks(argv[1], true);
    if (failures == before) std::printf("seeks: all checks passed, pull and push mode\n");
    return failures ? 1 : 0;
}
