#include "sound/shared_sound_device.h"

namespace zarn {

SharedSoundDevice& SharedDevice() {
    static SharedSoundDevice shared;
    return shared;
}

bool AcquireSharedDevice(SharedSoundDevice* shared) {
    if (shared->users++ > 0) return true;
    if (shared->owned) {
        if (shared->create == nullptr) {
            shared->users = 0;
            return false;
        }
        shared->device = shared->create();
        shared->device_set = 1;
        if (shared->device == nullptr) {
            --shared->users;
            return false;
        }
    } else if (shared->device == nullptr) {
        // Neither created here nor supplied by the caller: nothing can play.
        --shared->users;
        return false;
    }
    shared->emulated = shared->device->Emulated() ? 1 : 0;
    return true;
}

void ReleaseSharedDevice(SharedSoundDevice* shared) {
    if (shared->users == 0) return;
    if (--shared->users > 0) return;
    if (shared->owned && shared->device != nullptr) {
        shared->device->Release();
        shared->device = nullptr;
        shared->device_set = 0;
    }
}

}  // namespace zarn
