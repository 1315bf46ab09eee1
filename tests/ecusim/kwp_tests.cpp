#include "tester.h"
