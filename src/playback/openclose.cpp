#include "window/frmbrindlo.h"

void frmBrindlo::cmdOpen_Click() {}
void frmBrindlo::File1_DblClick() {}
