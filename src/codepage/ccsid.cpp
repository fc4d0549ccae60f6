// Placeholder until the code page table lands.
#include "svregistration/ccsid.h"
