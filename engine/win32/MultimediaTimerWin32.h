#pragma once

#include "engine/MultimediaTimerApi.h"

MultimediaTimerApi const& systemMultimediaTimer();
