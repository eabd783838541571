// SPDX-License-Identifier: MIT
#include "modulestate.h"

namespace Vorlan {

namespace {

ModuleState state;

} // namespace

ModuleState &moduleState()
{
    return state;
}

} // namespace Vorlan
