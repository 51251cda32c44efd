// The interrupt check as R sees it: Ctrl-C and setTimeLimit() end the call
// with R's usual condition, by longjmp to R's top level or handler.
#include "interrupt.h"

#include <R_ext/Utils.h>

namespace core {

void check_user_interrupt() { R_CheckUserInterrupt(); }

}  // namespace core
