// Placeholder until rar extraction lands.
#include "svregistration/rar.h"
