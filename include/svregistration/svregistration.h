// The whole public interface of the registration library.
#pragma once

#include "svregistration/case_folding.h"
#include "svregistration/ccsid.h"
#include "svregistration/class_registry.h"
#include "svregistration/error.h"
#include "svregistration/host/registration_handler.h"
#include "svregistration/host/repository.h"
#include "svregistration/host/utilities.h"
#include "svregistration/host/workspace.h"
#include "svregistration/icu_table.h"
#include "svregistration/rar.h"
#include "svregistration/record_decoder.h"
#include "svregistration/results.h"
#include "svregistration/sv_standard.h"
#include "svregistration/user_interface.h"
#include "svregistration/zip.h"
