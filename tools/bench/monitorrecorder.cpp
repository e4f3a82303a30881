#include "monitorrecorder.h"

#include <pulse/pulseaudio.h>

namespace {

constexpr int kRate = 48000;
// Short fragments note the sink's playing sample often.
constexpr int kFragmentMs = 5;

bool isSettled(pa_context_state_t state)
{
    return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
}

bool isSettled(pa_stream_state_t state)
{
    return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
}

} // namespace

MonitorRecorder::MonitorRecorder() : mainloop(pa_threaded_mainloop_new()), recording(kRate) {}

MonitorRecorder::~MonitorRecorder()
{
    stop();
    pa_threaded_mainloop_lock(mainloop);
    if (context)
        pa_context_disconnect(context);
    pa_threaded_mainloop_unlock(mainloop);
    pa_threaded_mainloop_stop(mainloop);
    if (context)
        pa_context_unref(context);
    pa_threaded_mainloop_free(mainloop);
}

bool MonitorRecorder::start()
{
    pa_threaded_mainloop_lock(mainloop);
    const bool started = pa_threaded_mainloop_start(mainloop) == 0 && connectToServer() &&
                         readServerInfo() && recordMonitor();
    pa_threaded_mainloop_unlock(mainloop);
    return started;
}

template <typename Done> void MonitorRecorder::waitUntil(Done done)
{
    while (!done())
        pa_threaded_mainloop_wait(mainloop);
}

bool MonitorRecorder::connectToServer()
{
    context = pa_context_new(pa_threaded_mainloop_get_api(mainloop), "tovek2-bench");
    pa_context_set_state_callback(context, &MonitorRecorder::contextChanged, this);
    // Where no server runs, none is started for the bench.
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        error = failure(QStringLiteral("no sound server answers"));
        return false;
    }
    waitUntil([this] { return isSettled(pa_context_get_state(context)); });
    if (pa_context_get_state(context) != PA_CONTEXT_READY) {
        error = failure(QStringLiteral("no sound server answers"));
        return false;
    }
    return true;
}

bool MonitorRecorder::readServerInfo()
{
    pa_operation *operation =
        pa_context_get_server_info(context, &MonitorRecorder::serverInfoRead, this);
    waitUntil([this] { return infoRead; });
    pa_operation_unref(operation);
    if (sink.isEmpty()) {
        error = QStringLiteral("%1 has no default sink").arg(server);
        return false;
    }
    return true;
}

bool MonitorRecorder::recordMonitor()
{
    const pa_sample_spec spec = {PA_SAMPLE_S16NE, kRate, 1};
    stream = pa_stream_new(context, "tovek2-bench A/V sync", &spec, nullptr);
    pa_stream_set_state_callback(stream, &MonitorRecorder::streamChanged, this);
    pa_stream_set_read_callback(stream, &MonitorRecorder::fragmentsArrived, this);
    pa_buffer_attr buffer = {};
    buffer.maxlength = uint32_t(-1);
    buffer.fragsize = uint32_t(pa_usec_to_bytes(kFragmentMs * PA_USEC_PER_MSEC, &spec));
    // The latency between the server's reports is worked out from the time passed; a report
    // may take it back, where the server's guess held too much.
    const auto flags = pa_stream_flags_t(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_NOT_MONOTONIC |
                                         PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
    const QByteArray monitor = sink.toUtf8() + ".monitor";
    if (pa_stream_connect_record(stream, monitor.constData(), &buffer, flags) == 0)
        waitUntil([this] { return isSettled(pa_stream_get_state(stream)); });
    if (pa_stream_get_state(stream) != PA_STREAM_READY) {
        error = failure(
            QStringLiteral("%1 offers no monitor of its sink %2 to record").arg(server, sink));
        pa_stream_unref(stream);
        stream = nullptr;
        return false;
    }
    return true;
}

SinkRecording MonitorRecorder::stop()
{
    pa_threaded_mainloop_lock(mainloop);
    if (stream) {
        pa_stream_disconnect(stream);
        pa_stream_unref(stream);
        stream = nullptr;
    }
    const SinkRecording heard = recording;
    pa_threaded_mainloop_unlock(mainloop);
    return heard;
}

void MonitorRecorder::readFragments(pa_stream *from)
{
    const void *data = nullptr;
    size_t bytes = 0;
    while (pa_stream_readable_size(from) > 0 && pa_stream_peek(from, &data, &bytes) == 0 &&
           bytes > 0) {
        const int samples = int(bytes / sizeof(qint16));
        // A hole in the recording is silence.
        if (data)
            recording.append(static_cast<const qint16 *>(data), samples);
        else
            recording.append(QVector<qint16>(samples).constData(), samples);
        samplesRead += samples;
        pa_stream_drop(from);
    }
    notePlaying(from);
}

void MonitorRecorder::notePlaying(pa_stream *from)
{
    // The server's timing from before the monitor sent anything still has the sink idling, as
    // a null sink idles with far more latency than it plays with.
    const pa_timing_info *timing = pa_stream_get_timing_info(from);
    pa_usec_t latency = 0;
    int negative = 0;
    if (!timing || timing->write_index <= 0 ||
        pa_stream_get_latency(from, &latency, &negative) != 0)
        return;
    // The latency runs from the next sample to read to the one the sink plays now; for a
    // monitor it is negative while what was read is still to be played.
    const double latencySamples = (negative ? -1.0 : 1.0) * latency * kRate / PA_USEC_PER_SEC;
    recording.notePlaying(samplesRead + latencySamples, SinkRecording::Clock::now());
}

QString MonitorRecorder::failure(const QString &what) const
{
    return QStringLiteral("%1 (%2)").arg(what,
                                         QString::fromUtf8(pa_strerror(pa_context_errno(context))));
}

void MonitorRecorder::contextChanged(pa_context *, void *recorder)
{
    pa_threaded_mainloop_signal(static_cast<MonitorRecorder *>(recorder)->mainloop, 0);
}

void MonitorRecorder::serverInfoRead(pa_context *, const pa_server_info *info, void *recorder)
{
    auto *self = static_cast<MonitorRecorder *>(recorder);
    self->infoRead = true;
    pa_threaded_mainloop_signal(self->mainloop, 0);
    if (!info)
        return;
    const QString name = QString::fromUtf8(info->server_name);
    // PipeWire's PulseAudio service names itself fully; PulseAudio by its program's name.
    self->server =
        name == QLatin1String("pulseaudio")
            ? QStringLiteral("PulseAudio %1").arg(QString::fromUtf8(info->server_version))
            : name;
    self->sink = QString::fromUtf8(info->default_sink_name);
}

void MonitorRecorder::streamChanged(pa_stream *, void *recorder)
{
    pa_threaded_mainloop_signal(static_cast<MonitorRecorder *>(recorder)->mainloop, 0);
}

void MonitorRecorder::fragmentsArrived(pa_stream *stream, size_t, void *recorder)
{
    static_cast<MonitorRecorder *>(recorder)->readFragments(stream);
}
