// What the two decoders share: their class set-up, reading their input
// caps, and telling the application about damaged data.
#pragma once

#include <gst/gst.h>

#include <initializer_list>
#include <utility>

#include "zarn/zarn.h"

// Adds the decoder's always pads and its metadata.
void SetUpDecoderClass(GstElementClass* element, GstStaticPadTemplate* sink, GstStaticPadTemplate* src,
                       const gchar* name, const gchar* klass, const gchar* description);

// Reads integer fields of the caps' first structure; false when one is
// missing or not above 0.
bool ReadPositiveInts(const GstCaps* caps, std::initializer_list<std::pair<const gchar*, gint*>> fields);

// A warning on the bus for damaged data the decoder went on from: `what`
// names the part ("video data"), `number` the file's frame.
void WarnDamaged(GstElement* element, const gchar* what, guint64 number);

// The error for a status other than ZARN_OK or ZARN_ERROR_CORRUPT_FRAME.
void PostDecodeError(GstElement* element, const gchar* what, zarn_status status);
