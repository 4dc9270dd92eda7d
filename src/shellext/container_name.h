// The one eligibility rule the shell extension needs: whether a name is that
// of a container file. It is the project's one container-name rule, from the
// bottom layer (base/container_name.h), as every other part asks it.
#pragma once

#include "base/container_name.h"
