#include "support/CoreDoubles.h"

#include <algorithm>

std::vector<SurfaceOp> RecordingSurface::sinceLastClear() const
{
    auto last = std::find_if(ops.rbegin(), ops.rend(), [](const SurfaceOp& op) { return op.kind == SurfaceOp::Clear; });
    return {last.base(), ops.end()};
}
