#include "camera/CheckReport.h"

namespace vorpix::camera {

int reportChecks(std::ostream& out, std::string_view name, std::span<const std::string> failures) {
    for (const std::string& f : failures) out << f << '\n';
    if (failures.empty()) {
        out << name << " OK\n";
    } else {
        out << name << " FAIL (" << failures.size() << ")\n";
    }
    return static_cast<int>(failures.size());
}

}  // namespace vorpix::camera
