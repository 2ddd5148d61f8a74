// The resource library's own object: keeps the compiled-in art linked into every program that
// uses the resources.
#include "res/resource.h"

namespace stillo_res {
int LogoBitmapId() {
    return IDB_LOGO;
}
} // namespace stillo_res
