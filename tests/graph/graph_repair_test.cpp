#include "graph/graph_repair.h"

#include <gtest/gtest.h>
