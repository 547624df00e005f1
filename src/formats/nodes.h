#pragma once
#include <vector>

// Node i of an axis of n nodes from first to last: first + i*(last-first)/(n-1);
// an axis of one node is {first}.
std::vector<double> even_nodes(double first, double last, int n);
