// zarnaudiodec: a track's audio data into interleaved 16-bit PCM at the
// track's rate and channel count.
#include <gst/audio/audio.h>

#include "gst/decoder_setup.h"
#include "gst/elements.h"

GST_DEBUG_CATEGORY_STATIC(zarn_audio_dec_debug);
#define GST_CAT_DEFAULT zarn_audio_dec_debug

struct ZarnAudioDec {
    GstAudioDecoder parent;
    zarn_audio_decoder* decoder;
    gint rate, channels;
};

struct ZarnAudioDecClass {
    GstAudioDecoderClass parent_class;
};

G_DEFINE_TYPE(ZarnAudioDec, zarn_audio_dec, GST_TYPE_AUDIO_DECODER)
GST_ELEMENT_REGISTER_DEFINE(zarnaudiodec, "zarnaudiodec", GST_RANK_PRIMARY, zarn_audio_dec_get_type())

namespace {

GstStaticPadTemplate sink_template = GST_STATIC_PAD_TEMPLATE(
    "sink", GST_PAD_SINK, GST_PAD_ALWAYS,
    GST_STATIC_CAPS(ZARN_AUDIO_CAPS ", rate = (int) [ 1, 65535 ], channels = (int) [ 1, 2 ]"));
GstStaticPadTemplate src_template = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("audio/x-raw, format = (string) S16LE, layout = (string) interleaved, "
                    "rate = (int) [ 1, 65535 ], channels = (int) [ 1, 2 ]"));

ZarnAudioDec* Dec(gpointer p) { return reinterpret_cast<ZarnAudioDec*>(p); }

gboolean SetFormat(GstAudioDecoder* base, GstCaps* caps) {
    ZarnAudioDec* d = Dec(base);
    gint rate = 0, channels = 0;
    if (!ReadPositiveInts(caps, {{"rate", &rate}, {"channels", &channels}})) return FALSE;
    zarn_audio_decoder_free(d->decoder);
    d->decoder = nullptr;
    if (zarn_audio_decoder_create(guint32(rate), guint32(channels), &d->decoder) != ZARN_OK) return FALSE;
    d->rate = rate;
    d->channels = channels;
    GstAudioInfo info;
    gst_audio_info_init(&info);
    gst_audio_info_set_format(&info, GST_AUDIO_FORMAT_S16LE, rate, channels, nullptr);
    return gst_audio_decoder_set_output_format(base, &info);
}

GstFlowReturn HandleFrame(GstAudioDecoder* base, GstBuffer* buffer) {
    ZarnAudioDec* d = Dec(base);
    if (!buffer) return GST_FLOW_OK;  // draining: nothing is held back
    if (!d->decoder) return GST_FLOW_NOT_NEGOTIATED;
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) return GST_FLOW_ERROR;
    const size_t most = zarn_audio_packet_samples(map.data, map.size);
    GstBuffer* out = gst_buffer_new_allocate(nullptr, MAX(most, size_t{1}) * 2, nullptr);
    GstMapInfo pcm;
    gst_buffer_map(out, &pcm, GST_MAP_WRITE);
    size_t count = 0;
    const zarn_status status = zarn_audio_decoder_decode(d->decoder, map.data, map.size,
                                                         reinterpret_cast<int16_t*>(pcm.data), most, &count);
    gst_buffer_unmap(out, &pcm);
    gst_buffer_unmap(buffer, &map);
    GstFlowReturn flow = GST_FLOW_OK;
    if (status == ZARN_ERROR_CORRUPT_FRAME) {
        WarnDamaged(GST_ELEMENT(d), "audio data", GST_BUFFER_OFFSET(buffer));
        GST_AUDIO_DECODER_ERROR(base, 1, STREAM, DECODE, ("A packet's audio data is damaged."), (nullptr),
                                flow);
        if (flow != GST_FLOW_OK) {
            gst_buffer_unref(out);
            return flow;
        }
    } else if (status != ZARN_OK) {
        gst_buffer_unref(out);
        PostDecodeError(GST_ELEMENT(d), "audio", status);
        return GST_FLOW_ERROR;
    }
    // Whole sample frames only.
    count -= count % size_t(d->channels);
    if (count == 0) {
        gst_buffer_unref(out);
        return gst_audio_decoder_finish_frame(base, nullptr, 1);
    }
    gst_buffer_set_size(out, gssize(count * 2));
    return gst_audio_decoder_finish_frame(base, out, 1);
}

void Flush(GstAudioDecoder* base, gboolean hard) {
    ZarnAudioDec* d = Dec(base);
    if (hard && d->decoder) zarn_audio_decoder_reset(d->decoder);
}

gboolean Stop(GstAudioDecoder* base) {
    ZarnAudioDec* d = Dec(base);
    zarn_audio_decoder_free(d->decoder);
    d->decoder = nullptr;
    return TRUE;
}

}  // namespace

static void zarn_audio_dec_class_init(ZarnAudioDecClass* klass) {
    GST_DEBUG_CATEGORY_INIT(zarn_audio_dec_debug, "zarnaudiodec", 0, "Zarn audio decoder");
    GstElementClass* element = GST_ELEMENT_CLASS(klass);
    SetUpDecoderClass(element, &sink_template, &src_template, "Zarn audio decoder", "Codec/Decoder/Audio",
                      "Decodes Zarn audio tracks into 16-bit PCM");
    GstAudioDecoderClass* dec = GST_AUDIO_DECODER_CLASS(klass);
    dec->set_format = SetFormat;
    dec->handle_frame = HandleFrame;
    dec->flush = Flush;
    dec->stop = Stop;
}

static void zarn_audio_dec_init(ZarnAudioDec* d) {
    d->decoder = nullptr;
    d->rate = d->channels = 0;
    gst_audio_decoder_set_drainable(GST_AUDIO_DECODER(d), TRUE);
    gst_audio_decoder_set_needs_format(GST_AUDIO_DECODER(d), TRUE);
}
