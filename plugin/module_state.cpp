#include "plugin/module_state.h"

// Every slot starts null.
ModuleState moduleState;
