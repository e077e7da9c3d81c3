#include "plugin/module_state.h"

ModuleState moduleState = {};
