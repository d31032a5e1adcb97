// Recognises Zarn files by their first four bytes.
#include "gst/elements.h"

namespace {

void FindZarn(GstTypeFind* find, gpointer) {
    // Nothing shorter than the header is a Zarn file.
    const guint8* data = gst_type_find_peek(find, 0, 44);
    if (!data || data[0] != 'Z' || data[1] != 'R' || data[2] != 'N' || data[3] < 'f' || data[3] > 'i') return;
    const gchar version[2] = {static_cast<gchar>(data[3]), 0};
    GstCaps* caps = gst_caps_new_simple("video/x-zarn", "version", G_TYPE_STRING, version, "systemstream",
                                        G_TYPE_BOOLEAN, TRUE, nullptr);
    gst_type_find_suggest(find, GST_TYPE_FIND_MAXIMUM, caps);
    gst_caps_unref(caps);
}

}  // namespace

GST_TYPE_FIND_REGISTER_DEFINE(zarn, "video/x-zarn", GST_RANK_PRIMARY, FindZarn, "zrn", nullptr, nullptr,
                              nullptr)
