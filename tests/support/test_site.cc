#include "support/test_site.h"
