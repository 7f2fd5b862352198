#pragma once

#include "system/RegistryStore.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace qelvo {

// The control values chosen for one camera, kept in the program's registry store under
// "SOFTWARE\QELVO-TARNEL\Camera Controls\<camera identity>", one 32-bit value per control
// named by the control's id in hex ("00980900").
class CameraControlStore {
public:
    CameraControlStore(RegistryStore store, const std::string& cameraIdentity);

    // The stored values of the given controls; missing and unreadable ones are left out.
    std::map<std::uint32_t, std::int32_t> load(const std::vector<std::uint32_t>& ids) const;
    // False when the value could not be written.
    bool save(std::uint32_t id, std::int32_t value) const;

    const std::string& keyPath() const { return keyPath_; }

private:
    RegistryStore store_;
    std::string keyPath_;
};

}  // namespace qelvo
