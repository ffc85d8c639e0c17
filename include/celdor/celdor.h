// Everything Celdor exports.
#pragma once

#include "adapter.h"
#include "cstring.h"
#include "libini.h"
#include "libreg.h"
#include "powerplan.h"
#include "thermal.h"
