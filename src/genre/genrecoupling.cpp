#include "window/frmbrindlo.h"

void frmBrindlo::cmbGenre_Change() {}
void frmBrindlo::cmbGenre_Click() {}
void frmBrindlo::cmbGenre_Scroll() {}
void frmBrindlo::txtGenreCode_Change() {}
