// Until the registry's model table is part of the core, the program links
// this empty one: it fits no router.
#include "registry/ModelTable.h"

ModelTable::ModelTable() = default;
