// The plugin's elements and the caps they share.
#pragma once

#include <gst/gst.h>

// A whole file, as the type finder names it (with its version letter).
#define ZARN_FILE_CAPS "video/x-zarn, systemstream = (boolean) true"
// A demuxed frame's video data: version letter, picture size, rate and the
// header's video flags travel in the caps.
#define ZARN_VIDEO_CAPS "video/x-zarn, systemstream = (boolean) false"
// A demuxed frame's audio data for one track.
#define ZARN_AUDIO_CAPS "audio/x-zarn"

G_BEGIN_DECLS

GST_ELEMENT_REGISTER_DECLARE(zarndemux);
GST_ELEMENT_REGISTER_DECLARE(zarnvideodec);
GST_ELEMENT_REGISTER_DECLARE(zarnaudiodec);
GST_TYPE_FIND_REGISTER_DECLARE(zarn);

G_END_DECLS
