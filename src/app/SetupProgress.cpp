#include "app/SetupProgress.h"

#include <algorithm>
#include <cmath>

namespace tallowmere {

int PackageInstallProgress::percentage() const
{
    if (total <= 0)
        return 0;
    const double ratio = std::min(double(completed) / double(total), 1.0);
    return int(std::lround(ratio * 100.0));
}

} // namespace tallowmere
