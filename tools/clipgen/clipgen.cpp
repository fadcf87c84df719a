#include "clipgen/clipgen.h"
