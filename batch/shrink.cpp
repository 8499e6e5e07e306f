#include "batch/shrink.h"
