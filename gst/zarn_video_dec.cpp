// zarnvideodec: a frame's video data into I420 pictures, A420 when the
// file carries an alpha plane.
#include <gst/video/video.h>

#include <cstring>

#include "gst/decoder_setup.h"
#include "gst/elements.h"

GST_DEBUG_CATEGORY_STATIC(zarn_video_dec_debug);
#define GST_CAT_DEFAULT zarn_video_dec_debug

struct ZarnVideoDec {
    GstVideoDecoder parent;
    zarn_video_decoder* decoder;
    GstVideoCodecState* input;
    bool alpha;
};

struct ZarnVideoDecClass {
    GstVideoDecoderClass parent_class;
};

G_DEFINE_TYPE(ZarnVideoDec, zarn_video_dec, GST_TYPE_VIDEO_DECODER)
GST_ELEMENT_REGISTER_DEFINE(zarnvideodec, "zarnvideodec", GST_RANK_PRIMARY, zarn_video_dec_get_type())

namespace {

GstStaticPadTemplate sink_template =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS(ZARN_VIDEO_CAPS));
GstStaticPadTemplate src_template = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS(GST_VIDEO_CAPS_MAKE("{ I420, A420 }")));

constexpr guint kHasAlpha = 0x100000;

ZarnVideoDec* Dec(gpointer p) { return reinterpret_cast<ZarnVideoDec*>(p); }

void DropDecoder(ZarnVideoDec* d) {
    zarn_video_decoder_free(d->decoder);
    d->decoder = nullptr;
    if (d->input) gst_video_codec_state_unref(d->input);
    d->input = nullptr;
}

gboolean SetFormat(GstVideoDecoder* base, GstVideoCodecState* state) {
    ZarnVideoDec* d = Dec(base);
    gint width = 0, height = 0, num = 0, den = 1;
    if (!ReadPositiveInts(state->caps, {{"width", &width}, {"height", &height}})) return FALSE;
    const GstStructure* s = gst_caps_get_structure(state->caps, 0);
    const gchar* version = gst_structure_get_string(s, "version");
    guint flags = 0;
    if (!version || !gst_structure_get_uint(s, "video-flags", &flags)) return FALSE;
    gst_structure_get_fraction(s, "framerate", &num, &den);
    zarn_header h{};
    h.version = version[0];
    h.width = guint(width);
    h.height = guint(height);
    h.video_flags = flags;
    DropDecoder(d);
    if (zarn_video_decoder_create(&h, ZARN_OPEN_ALPHA, &d->decoder) != ZARN_OK) return FALSE;
    d->alpha = flags & kHasAlpha;
    d->input = gst_video_codec_state_ref(state);
    GstVideoCodecState* out = gst_video_decoder_set_output_state(
        base, d->alpha ? GST_VIDEO_FORMAT_A420 : GST_VIDEO_FORMAT_I420, guint(width), guint(height), state);
    GST_VIDEO_INFO_FPS_N(&out->info) = num;
    GST_VIDEO_INFO_FPS_D(&out->info) = den;
    gst_video_codec_state_unref(out);
    return gst_video_decoder_negotiate(base);
}

void CopyPlane(const uint8_t* from, gint from_stride, guint8* to, gint to_stride, guint width, guint rows) {
    for (guint r = 0; r < rows; ++r)
        std::memcpy(to + gsize(r) * to_stride, from + gsize(r) * from_stride, width);
}

GstFlowReturn HandleFrame(GstVideoDecoder* base, GstVideoCodecFrame* frame) {
    ZarnVideoDec* d = Dec(base);
    if (!d->decoder) {
        gst_video_decoder_drop_frame(base, frame);
        return GST_FLOW_NOT_NEGOTIATED;
    }
    GstMapInfo map;
    if (!gst_buffer_map(frame->input_buffer, &map, GST_MAP_READ)) {
        gst_video_decoder_drop_frame(base, frame);
        return GST_FLOW_ERROR;
    }
    const bool key = !GST_BUFFER_FLAG_IS_SET(frame->input_buffer, GST_BUFFER_FLAG_DELTA_UNIT);
    const zarn_status status = zarn_video_decoder_decode(d->decoder, map.data, map.size, key);
    gst_buffer_unmap(frame->input_buffer, &map);
    if (status == ZARN_ERROR_CORRUPT_FRAME) {
        // The picture stays usable; the base class decides how many such
        // frames end the stream.
        WarnDamaged(GST_ELEMENT(d), "video data", GST_BUFFER_OFFSET(frame->input_buffer));
        GstFlowReturn r = GST_FLOW_OK;
        GST_VIDEO_DECODER_ERROR(base, 1, STREAM, DECODE, ("A frame's video data is damaged."),
                                ("frame %u", frame->system_frame_number), r);
        if (r != GST_FLOW_OK) {
            gst_video_decoder_drop_frame(base, frame);
            return r;
        }
    } else if (status != ZARN_OK) {
        gst_video_decoder_drop_frame(base, frame);
        PostDecodeError(GST_ELEMENT(d), "video", status);
        return GST_FLOW_ERROR;
    }
    zarn_planes planes;
    if (zarn_video_decoder_get_planes(d->decoder, &planes) != ZARN_OK) {
        gst_video_decoder_drop_frame(base, frame);
        return GST_FLOW_ERROR;
    }
    GstFlowReturn flow = gst_video_decoder_allocate_output_frame(base, frame);
    if (flow != GST_FLOW_OK) {
        gst_video_decoder_drop_frame(base, frame);
        return flow;
    }
    GstVideoCodecState* out = gst_video_decoder_get_output_state(base);
    GstVideoFrame picture;
    if (!gst_video_frame_map(&picture, &out->info, frame->output_buffer, GST_MAP_WRITE)) {
        gst_video_codec_state_unref(out);
        gst_video_decoder_drop_frame(base, frame);
        return GST_FLOW_ERROR;
    }
    gst_video_codec_state_unref(out);
    const uint8_t* from[4] = {planes.y, planes.u, planes.v, planes.a};
    const gint strides[4] = {planes.y_stride, planes.uv_stride, planes.uv_stride, planes.a_stride};
    const guint widths[4] = {planes.width, planes.chroma_width, planes.chroma_width, planes.width};
    const guint rows[4] = {planes.height, planes.chroma_height, planes.chroma_height, planes.height};
    const guint count = GST_VIDEO_FRAME_N_PLANES(&picture);
    for (guint p = 0; p < count; ++p) {
        guint8* to = static_cast<guint8*>(GST_VIDEO_FRAME_PLANE_DATA(&picture, p));
        const gint to_stride = GST_VIDEO_FRAME_PLANE_STRIDE(&picture, p);
        if (from[p])
            CopyPlane(from[p], strides[p], to, to_stride, widths[p], rows[p]);
        else
            for (guint r = 0; r < rows[p]; ++r) std::memset(to + gsize(r) * to_stride, 0xFF, widths[p]);
    }
    gst_video_frame_unmap(&picture);
    if (key) GST_VIDEO_CODEC_FRAME_SET_SYNC_POINT(frame);
    return gst_video_decoder_finish_frame(base, frame);
}

gboolean Flush(GstVideoDecoder* base) {
    ZarnVideoDec* d = Dec(base);
    if (d->decoder) zarn_video_decoder_reset(d->decoder);
    return TRUE;
}

gboolean Stop(GstVideoDecoder* base) {
    DropDecoder(Dec(base));
    return TRUE;
}

}  // namespace

static void zarn_video_dec_class_init(ZarnVideoDecClass* klass) {
    GST_DEBUG_CATEGORY_INIT(zarn_video_dec_debug, "zarnvideodec", 0, "Zarn video decoder");
    GstElementClass* element = GST_ELEMENT_CLASS(klass);
    SetUpDecoderClass(element, &sink_template, &src_template, "Zarn video decoder", "Codec/Decoder/Video",
                      "Decodes Zarn video into planar YUV 4:2:0 pictures");
    GstVideoDecoderClass* dec = GST_VIDEO_DECODER_CLASS(klass);
    dec->set_format = SetFormat;
    dec->handle_frame = HandleFrame;
    dec->flush = Flush;
    dec->stop = Stop;
}

static void zarn_video_dec_init(ZarnVideoDec* d) {
    d->decoder = nullptr;
    d->input = nullptr;
    d->alpha = false;
    gst_video_decoder_set_packetized(GST_VIDEO_DECODER(d), TRUE);
    gst_video_decoder_set_needs_format(GST_VIDEO_DECODER(d), TRUE);
}
