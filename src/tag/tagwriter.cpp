#include "window/frmbrindlo.h"

void frmBrindlo::cmdSaveTag_Click() {}
