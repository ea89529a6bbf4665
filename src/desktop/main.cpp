#include "varlowe_app.h"

wxIMPLEMENT_APP(varlowe::VarloweApp);
