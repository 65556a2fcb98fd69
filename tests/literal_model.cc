#include "tests/literal_model.h"
