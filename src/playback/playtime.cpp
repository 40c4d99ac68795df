#include "window/frmbrindlo.h"

void frmBrindlo::media_OpenStateNotify(std::int32_t, std::int32_t) {}
void frmBrindlo::Timer1_Timer() {}
