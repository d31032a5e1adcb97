// What the two decoders share.
#include "gst/decoder_setup.h"

void SetUpDecoderClass(GstElementClass* element, GstStaticPadTemplate* sink, GstStaticPadTemplate* src,
                       const gchar* name, const gchar* klass, const gchar* description) {
    gst_element_class_add_static_pad_template(element, sink);
    gst_element_class_add_static_pad_template(element, src);
    gst_element_class_set_static_metadata(element, name, klass, description, "The Zarn developers");
}

bool ReadPositiveInts(const GstCaps* caps, std::initializer_list<std::pair<const gchar*, gint*>> fields) {
    if (!caps || gst_caps_get_size(caps) == 0) return false;
    const GstStructure* s = gst_caps_get_structure(caps, 0);
    for (const auto& [name, value] : fields)
        if (!gst_structure_get_int(s, name, value) || *value <= 0) return false;
    return true;
}

void WarnDamaged(GstElement* element, const gchar* what, guint64 number) {
    // The base classes only count such errors until too many end the
    // stream; the application hears of each one here.
    GST_ELEMENT_WARNING(element, STREAM, DECODE,
                        ("The %s of frame %" G_GUINT64_FORMAT " is damaged; decoding goes on.", what, number),
                        (nullptr));
}

void PostDecodeError(GstElement* element, const gchar* what, zarn_status status) {
    GST_ELEMENT_ERROR(element, STREAM, DECODE,
                      ("The %s cannot be decoded: %s.", what, zarn_status_text(status)), (nullptr));
}
