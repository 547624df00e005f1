#include "formats/nodes.h"

#include <algorithm>

std::vector<double> even_nodes(double first, double last, int n)
{
    std::vector<double> nodes(static_cast<size_t>(std::max(n, 0)));
    if (n == 1) {
        nodes[0] = first;
    } else if (n > 1) {
        const double step = (last - first) / (n - 1);
        for (int i = 0; i < n; ++i)
            nodes[i] = first + i * step;
    }
    return nodes;
}
