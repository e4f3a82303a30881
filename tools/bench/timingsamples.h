#ifndef TIMINGSAMPLES_H
#define TIMINGSAMPLES_H

#include <QVector>

// Durations in ms and the figures the benchmark reports of them.
class TimingSamples
{
public:
    void add(double ms) { samples.append(ms); }
    int count() const { return samples.size(); }
    double median() const { return percentile(50); }
    // Nearest rank: the smallest sample that at least percent % of all samples do not exceed.
    double percentile(double percent) const;
    double mean() const;

private:
    QVector<double> samples;
};

#endif
