// The Zarn GStreamer plugin: a type finder, a demuxer and two decoders.
#include "gst/elements.h"

#ifndef PACKAGE
#define PACKAGE "zarn"
#endif

namespace {

gboolean PluginInit(GstPlugin* plugin) {
    gboolean ok = GST_TYPE_FIND_REGISTER(zarn, plugin);
    ok &= GST_ELEMENT_REGISTER(zarndemux, plugin);
    ok &= GST_ELEMENT_REGISTER(zarnvideodec, plugin);
    ok &= GST_ELEMENT_REGISTER(zarnaudiodec, plugin);
    return ok;
}

}  // namespace

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, zarn, "Zarn video (.zrn) demuxer and decoders",
                  PluginInit, ZARN_PLUGIN_VERSION, ZARN_PLUGIN_LICENSE, "Zarn", ZARN_PLUGIN_ORIGIN)
