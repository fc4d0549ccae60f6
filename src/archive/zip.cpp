// Placeholder until zip extraction lands.
#include "svregistration/zip.h"
