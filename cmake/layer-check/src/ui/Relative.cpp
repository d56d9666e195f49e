// The include checker's fixture: a ui file reaching a subfolder by a relative name.
#include "win32/Beside.h"
