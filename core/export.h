// Marks a function as a candidate for a library's export list. Every library
// is compiled with hidden visibility; its version script then picks exactly
// the names that library exports.
#pragma once

#define QV_EXPORT extern "C" __attribute__((visibility("default")))
