#include "window/frmbrindlo.h"
