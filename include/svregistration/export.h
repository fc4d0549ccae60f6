// What the shared library exports: the public classes and functions are marked SVREG_API; every
// other symbol of the library stays inside it.
#pragma once

#define SVREG_API __attribute__((visibility("default")))
