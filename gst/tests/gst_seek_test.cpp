// Seeks through zarndemux ! zarnvideodec ! appsink and checks that the
// picture after an accurate seek is the library's picture of that frame,
// that a key-frame seek lands on a key frame, and that position and
// duration answer in time. With --damaged, plays each file through
// decodebin and checks that it ends, with an error for the files named
// cut-*. Exit 0 on success, 1 with a message, 77 when the plugin cannot
// be loaded.
#include <gst/app/gstappsink.h>
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

GstSample* SeekAndPull(GstElement* pipeline, GstElement* sink, GstSeekFlags flags, GstClockTime time) {
    if (!gst_element_seek_simple(pipeline, GST_FORMAT_TIME, GstSeekFlags(GST_SEEK_FLAG_FLUSH | flags), gint64(time)))
        return nullptr;
    gst_element_get_state(pipeline, nullptr, nullptr, 10 * GST_SECOND);
    return gst_app_sink_try_pull_preroll(GST_APP_SINK(sink), 10 * GST_SECOND);
}

// Plays `path` through decodebin to an error or the end: 1 error, 0 end,
// -1 neither within the time allowed.
int PlayToTheEnd(const char* path) {
    gchar* description = g_strdup_printf("filesrc location=\"%s\" ! decodebin ! fakesink", path);
    GstElement* pipeline = gst_parse_launch(description, nullptr);
    g_free(description);
    if (!pipeline) return -1;
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* m = gst_bus_timed_pop_filtered(bus, 20 * GST_SECOND,
                                               GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_EOS));
    const int result = !m ? -1 : GST_MESSAGE_TYPE(m) == GST_MESSAGE_ERROR ? 1 : 0;
    if (m) gst_message_unref(m);
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
        if (r < 0) std::fprintf(stderr, "FAILED: %s neither ends nor fails\n", paths[k]);
        else if (cut && r == 0) std::fprintf(stderr, "FAILED: %s ends without an error\n", paths[k]);
        else continue;
        ++failures;
    }
    if (failures == 0) std::printf("damaged files: all ended, the cut ones with an error\n");
    return failures ? 1 : 0;
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
    zarn_movie* movie = nullptr;
    zarn_info info{};
    if (zarn_open_file(argv[1], 0, &movie) != ZARN_OK || zarn_get_info(movie, &info) != ZARN_OK) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    zarn_close(movie);
    gchar* description = g_strdup_printf(
        "filesrc location=\"%s\" ! zarndemux ! zarnvideodec ! appsink name=out sync=false", argv[1]);
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(description, &error);
    g_free(description);
    if (!pipeline) {
        std::fprintf(stderr, "pipeline: %s\n", error ? error->message : "?");
        return 1;
    }
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "out");
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
        Check(SameAsLibrary(argv[1], frame, s), "accurate seek: the library's picture of the frame");
        gint64 position = -1;
        Check(gst_element_query_position(pipeline, GST_FORMAT_TIME, &position) &&
                  GstClockTime(position) == FrameTime(info, frame),
              "position after an accurate seek");
        gst_sample_unref(s);
    }

    // A key-frame seek just past a key frame lands on a key frame at or before.
    GstSample* s = SeekAndPull(pipeline, sink, GstSeekFlags(GST_SEEK_FLAG_KEY_UNIT | GST_SEEK_FLAG_SNAP_BEFORE),
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
    Check(done && GST_MESSAGE_TYPE(done) == GST_MESSAGE_SEGMENT_DONE, "a segment seek ends with segment-done");
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

    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(sink);
    gst_object_unref(pipeline);
    if (failures == 0) std::printf("seeks: all checks passed\n");
    return failures ? 1 : 0;
}
