#include "timingsamples.h"

#include <algorithm>
#include <cmath>
#include <numeric>

double TimingSamples::percentile(double percent) const
{
    if (samples.isEmpty())
        return 0;
    QVector<double> sorted = samples;
    std::sort(sorted.begin(), sorted.end());
    const int rank = int(std::ceil(percent / 100 * sorted.size()));
    return sorted[qBound(1, rank, sorted.size()) - 1];
}

double TimingSamples::mean() const
{
    if (samples.isEmpty())
        return 0;
    return std::accumulate(samples.begin(), samples.end(), 0.0) / samples.size();
}
