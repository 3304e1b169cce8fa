#pragma once
// Marks a printf-style function so that the compiler checks every call's
// format against its arguments. fmt and first are 1-based argument indexes
// (count the implicit this of a member function).
#define QUOR_PRINTF(fmt, first) __attribute__((format(printf, fmt, first)))
