// Everything Celdor exports.
#pragma once

#include "adapter.h"
#include "batterydriver.h"
#include "batteryinformation.h"
#include "chargingmode.h"
#include "cstring.h"
#include "libini.h"
#include "libreg.h"
#include "powerfeature.h"
#include "powerplan.h"
#include "thermal.h"
#include "usbcharger.h"
