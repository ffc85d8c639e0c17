// Everything Celdor exports.
#pragma once

#include "adapter.h"
#include "cstring.h"
#include "libreg.h"
