#include "dialogs/frmabout.h"
