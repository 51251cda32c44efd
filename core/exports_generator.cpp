// Exported names of the generator, the deviates and the fatal reporter; they
// forward to the library's own hidden copies, so a library's internal calls
// never bind to another library's symbols.
#include <cstdint>

#include "export.h"
#include "fatal.h"
#include "generator.h"

QV_EXPORT double ran3(std::int32_t* idum) { return core::ran3(idum); }
QV_EXPORT double gasdev(std::int32_t* idum) { return core::gasdev(idum); }
QV_EXPORT double expdev(std::int32_t* idum) { return core::expdev(idum); }
QV_EXPORT void vlerror(const char* text) { core::fatal(text); }
