// Start-up bank programs of this family (see BankBuilder.h for the program numbers they may use).
#include "BankBuilder.h"

void buildWavetablePrograms(BankBuilder&) {}
