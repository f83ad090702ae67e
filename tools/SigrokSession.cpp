#include "tools/SigrokSession.h"

#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <zip.h>

namespace zop {

namespace {

constexpr const char* ChannelName = "CH1";

std::runtime_error ZipFailure(const char* what, zip_error_t* error)
{
    return std::runtime_error(std::string("sigrok session: ") + what + ": " + zip_error_strerror(error));
}

// The little-endian bytes of each sample as a 32-bit float.
std::string FloatChunk(const VoltWaveform& waveform)
{
    std::string bytes;
    for (const double volts : waveform.Volts) {
        auto bits = std::bit_cast<uint32_t>(static_cast<float>(volts));
        for (int i = 0; i < 4; ++i, bits >>= 8)
            bytes += static_cast<char>(bits & 0xFF);
    }
    return bytes;
}

// Adds `name` holding a copy of `bytes`: the archive frees the copy.
void AddEntry(zip_t* archive, const char* name, const std::string& bytes)
{
    void* copy = std::malloc(bytes.size());
    if (!copy)
        throw std::bad_alloc();
    std::memcpy(copy, bytes.data(), bytes.size());
    zip_source_t* source = zip_source_buffer(archive, copy, bytes.size(), 1);
    if (!source) {
        std::free(copy);
        throw ZipFailure(name, zip_get_error(archive));
    }
    if (zip_file_add(archive, name, source, ZIP_FL_ENC_UTF_8) < 0) {
        zip_source_free(source);
        throw ZipFailure(name, zip_get_error(archive));
    }
}

} // namespace

std::optional<uint64_t> SessionSampleRate(const VoltWaveform& waveform)
{
    const double exact = 1.0 / waveform.SampleSeconds;
    const double rate = std::round(exact);
    if (!std::isfinite(rate) || rate < 1.0 || std::abs(exact - rate) > 1e-6 * rate)
        return std::nullopt;
    return static_cast<uint64_t>(rate);
}

std::string SigrokSessionBytes(const VoltWaveform& waveform)
{
    const std::optional<uint64_t> rate = SessionSampleRate(waveform);
    if (!rate)
        throw std::runtime_error("a sigrok session holds sample rates of whole hertz from 1 Hz; this time base "
                                 "samples every "
            + std::to_string(waveform.SampleSeconds) + " s");
    const std::string metadata
        = "[device 1]\nsamplerate=" + std::to_string(*rate) + " Hz\ntotal analog=1\nanalog1=" + ChannelName + "\n";

    // The archive is built in memory; the caller writes it as one file.
    zip_error_t error;
    zip_error_init(&error);
    const std::unique_ptr<zip_source_t, decltype(&zip_source_free)> buffer(
        zip_source_buffer_create(nullptr, 0, 0, &error), zip_source_free);
    if (!buffer)
        throw ZipFailure("buffer", &error);
    zip_source_keep(buffer.get());
    zip_t* archive = zip_open_from_source(buffer.get(), ZIP_TRUNCATE, &error);
    if (!archive) {
        zip_source_free(buffer.get()); // the reference kept for the archive
        throw ZipFailure("open", &error);
    }
    try {
        AddEntry(archive, "version", "2");
        AddEntry(archive, "metadata", metadata);
        AddEntry(archive, "analog-1-1-1", FloatChunk(waveform));
    } catch (...) {
        zip_discard(archive);
        throw;
    }
    if (zip_close(archive) < 0) {
        const std::runtime_error failure = ZipFailure("close", zip_get_error(archive));
        zip_discard(archive);
        throw failure;
    }

    zip_stat_t stat;
    if (zip_source_open(buffer.get()) < 0 || zip_source_stat(buffer.get(), &stat) < 0)
        throw ZipFailure("read", zip_source_error(buffer.get()));
    std::string bytes(stat.size, '\0');
    const zip_int64_t read = zip_source_read(buffer.get(), bytes.data(), bytes.size());
    zip_source_close(buffer.get());
    if (read != static_cast<zip_int64_t>(bytes.size()))
        throw ZipFailure("read", zip_source_error(buffer.get()));
    return bytes;
}

} // namespace zop
