// How a save replaces its file: durable by default, and never quietly
// narrower or wider in who may read it.
#pragma once

#include <functional>
#include <string>

namespace lumarin {

struct SaveOptions {
    // Sync the new file before it replaces the old one, and the folder
    // after, so that a power cut leaves the old file or the new one; off
    // for scratch files.
    bool sync = true;
    // List the target's folder first and remove the temporaries of the same
    // target left by processes that are gone (killed between naming the
    // temporary and renaming it). A job that saves a line at a time in a
    // crowded folder may leave it to its last save.
    bool remove_stale = true;
    // Where set, an entry of the old file's access that cannot be kept (an
    // ACL, an extended attribute, file capabilities) is dropped and named
    // here, and the save goes on; where empty, it refuses the save with
    // PermissionDenied and the old file stays.
    std::function<void(const std::string& lost)> accept_loss;
};

}  // namespace lumarin
