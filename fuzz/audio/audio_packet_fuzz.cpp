// libFuzzer entry: arbitrary audio packets for arbitrary track formats.
#include <cstddef>
#include <cstdint>

#include "fuzz/audio/audio_packet_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zarn::DecodeAudioPacketInput(data, size);
    return 0;
}
