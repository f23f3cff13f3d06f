#include "device/Synthesis.h"

#include <cmath>
#include <cstring>

namespace {
// 2π / 1000: one period spread over the block's 1000 pairs.
constexpr double RadiansPerPeriod = 0.006283185307179587;

int16_t NextSample(SineOscillator& osc) {
    const double c = osc.cosineState;
    const double s = osc.sineState;
    osc.cosineState = c * osc.cosineStep - s * osc.sineStep;
    osc.sineState = c * osc.sineStep + s * osc.cosineStep;
    double x = osc.amplitude * s;
    x = x >= 0.0 ? x + 0.5 : x - 0.5;  // half away from zero, then truncate
    return static_cast<int16_t>(static_cast<int32_t>(x));
}
}  // namespace

void SineOscillator::Prepare(int32_t amplitudeCode, int32_t periods) {
    amplitude = static_cast<double>(amplitudeCode);
    const double theta = static_cast<double>(periods) * RadiansPerPeriod;
    cosineStep = std::cos(theta);
    sineStep = std::sin(theta);
    cosineState = 1.0;
    sineState = 0.0;
}

void SynthesizeBlock(SineOscillator& channel1, SineOscillator& channel2, SampleBlock& block) {
    for (int k = 0; k < SamplePairs; ++k) {
        block.values[2 * k] = NextSample(channel1);
        block.values[2 * k + 1] = NextSample(channel2);
    }
    std::memset(&block.values[PlayedValues], 0, (SampleBlockValues - PlayedValues) * sizeof(int16_t));
}

void FillGeneratorRequest(DeviceRequest& request, int32_t kind, double frequency, SampleBlock* block) {
    request = DeviceRequest{};
    request.Code = RequestCode;
    request.Size = sizeof(DeviceRequest);
    switch (kind) {
    case RunAtRate:
        if (frequency > 0.0) {
            // Running asks for what applying a rate asks for, with selector 1.
            FillRateRequest(request, frequency);
        } else {
            request.Mode = RequestMode::Stop;
            request.Address = WaveformAddress;
        }
        break;
    case WriteBlock:
        request.Mode = RequestMode::RunOrWrite;
        request.Address = WaveformAddress;
        request.Flag = 1;
        request.Count = SampleBlockValues;
        request.Buffer = block ? block->values : nullptr;
        break;
    case AutoStartOn:
        request.Mode = RequestMode::AutoStartOn;
        request.Frequency = frequency;
        request.Address = WaveformAddress;
        request.Flag = 1;
        request.Count = PlayedValues;
        break;
    case AutoStartOff:
        request.Mode = RequestMode::AutoStartOff;
        request.Flag = 1;
        break;
    default: break;
    }
}

void FillRateRequest(DeviceRequest& request, double frequency) {
    request = DeviceRequest{};
    request.Code = RequestCode;
    request.Size = sizeof(DeviceRequest);
    request.Mode = RequestMode::RunOrWrite;
    request.Frequency = frequency;
    request.Address = WaveformAddress;
    request.Flag = 1;
    request.Count = PlayedValues;
}
