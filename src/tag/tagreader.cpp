#include "window/frmbrindlo.h"

void frmBrindlo::ClearTagFields() {}
void frmBrindlo::File1_Click() {}
