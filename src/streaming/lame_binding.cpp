#include "lame_binding.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <dlfcn.h>
#include <lame/lame.h>

namespace {

struct LameStream {
    lame_global_flags* gfp = nullptr;
    int samplesPerChannel = 0;
    quint32 outSize = 0;
};

} // namespace

struct LameBinding::Api {
    lame_global_flags* (*init)();
    int (*close)(lame_global_flags*);
    int (*initParams)(lame_global_flags*);
    int (*setInSampleRate)(lame_global_flags*, int);
    int (*setOutSampleRate)(lame_global_flags*, int);
    int (*setNumChannels)(lame_global_flags*, int);
    int (*setMode)(lame_global_flags*, MPEG_mode);
    int (*setBrate)(lame_global_flags*, int);
    int (*setVbr)(lame_global_flags*, vbr_mode);
    int (*setVbrQ)(lame_global_flags*, int);
    int (*setVbrMean)(lame_global_flags*, int);
    int (*setVbrMin)(lame_global_flags*, int);
    int (*setVbrMax)(lame_global_flags*, int);
    int (*setPreset)(lame_global_flags*, int);
    int (*setExtension)(lame_global_flags*, int);
    int (*setErrorProtection)(lame_global_flags*, int);
    int (*setCopyright)(lame_global_flags*, int);
    int (*setOriginal)(lame_global_flags*, int);
    int (*setWriteVbrTag)(lame_global_flags*, int);
    int (*setDisableReservoir)(lame_global_flags*, int);
    int (*setStrictIso)(lame_global_flags*, int);
    int (*setQuality)(lame_global_flags*, int);
    int (*setEmphasis)(lame_global_flags*, int);
    int (*getFramesize)(const lame_global_flags*);
    int (*encodeInterleaved)(lame_global_flags*, short int*, int, unsigned char*, int);
    int (*flush)(lame_global_flags*, unsigned char*, int);
    int (*flushNogap)(lame_global_flags*, unsigned char*, int);
    size_t (*lametagFrame)(const lame_global_flags*, unsigned char*, size_t);
    const char* (*versionText)();
    void (*versionNumerical)(lame_version_t*);
};

// Same order as the pointers in Api.
static const char* const kSymbols[] = {
    "lame_init",
    "lame_close",
    "lame_init_params",
    "lame_set_in_samplerate",
    "lame_set_out_samplerate",
    "lame_set_num_channels",
    "lame_set_mode",
    "lame_set_brate",
    "lame_set_VBR",
    "lame_set_VBR_q",
    "lame_set_VBR_mean_bitrate_kbps",
    "lame_set_VBR_min_bitrate_kbps",
    "lame_set_VBR_max_bitrate_kbps",
    "lame_set_preset",
    "lame_set_extension",
    "lame_set_error_protection",
    "lame_set_copyright",
    "lame_set_original",
    "lame_set_bWriteVbrTag",
    "lame_set_disable_reservoir",
    "lame_set_strict_ISO",
    "lame_set_quality",
    "lame_set_emphasis",
    "lame_get_framesize",
    "lame_encode_buffer_interleaved",
    "lame_encode_flush",
    "lame_encode_flush_nogap",
    "lame_get_lametag_frame",
    "get_lame_version",
    "get_lame_version_numerical",
};
static constexpr int kSymbolCount = int(sizeof(kSymbols) / sizeof(kSymbols[0]));

LameBinding::LameBinding() = default;

LameBinding::~LameBinding() {
    unload();
}

const QStringList& LameBinding::requiredSymbols() {
    static const QStringList names = [] {
        QStringList l;
        for (const char* s : kSymbols)
            l << QString::fromLatin1(s);
        return l;
    }();
    return names;
}

QStringList LameBinding::missingSymbols(const QString& path, QString* loadError) {
    QStringList missing;
    void* h = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        if (loadError) *loadError = QString::fromLocal8Bit(dlerror());
        return requiredSymbols();
    }
    for (const char* s : kSymbols)
        if (!dlsym(h, s)) missing << QString::fromLatin1(s);
    dlclose(h);
    return missing;
}

bool LameBinding::isLoaded() const {
    return m_handle && m_api;
}

int LameBinding::load(const QString& path) {
    if (isLoaded()) return Ok;
    void* h = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!h) return LoadFailed;
    void* table[kSymbolCount];
    for (int i = 0; i < kSymbolCount; ++i) {
        table[i] = dlsym(h, kSymbols[i]);
        if (!table[i]) {
            dlclose(h);
            return LoadFailed;
        }
    }
    m_api = new Api;
    static_assert(sizeof(table) == sizeof(Api));
    memcpy(static_cast<void*>(m_api), table, sizeof(table));
    m_handle = h;
    m_path = path;
    return Ok;
}

int LameBinding::unload() {
    if (!m_handle) return Ok;
    if (dlclose(m_handle) != 0) return LoadFailed;
    m_handle = nullptr;
    delete m_api;
    m_api = nullptr;
    m_path.clear();
    return Ok;
}

quint32 LameBinding::outputBufferSize(int samplesPerChannel) {
    // Worst case the encoder documents: 1.25 * samples + 7200.
    return quint32(samplesPerChannel + samplesPerChannel / 4 + 7200);
}

int LameBinding::initStream(const EncoderConfig& c, quint32* samplesPerChunk,
                            quint32* outBufferSize, Stream* stream) {
    if (!isLoaded()) return NotBound;
    if (!samplesPerChunk || !outBufferSize || !stream || c.size != EncoderConfig::RecordSize)
        return InvalidParameters;
    lame_global_flags* g = m_api->init();
    if (!g) return NoMoreHandles;
    const Api& a = *m_api;
    a.setInSampleRate(g, int(c.inSampleRate));
    a.setOutSampleRate(g, int(c.outSampleRate));
    a.setNumChannels(g, 2);
    a.setMode(g, c.channelMode == 1 ? JOINT_STEREO : STEREO);
    a.setEmphasis(g, int(c.emphasis));
    a.setExtension(g, c.privateBit ? 1 : 0);
    a.setErrorProtection(g, c.crc ? 1 : 0);
    a.setCopyright(g, c.copyright ? 1 : 0);
    a.setOriginal(g, c.original ? 1 : 0);
    a.setWriteVbrTag(g, c.writeVbrHeader ? 1 : 0);
    a.setDisableReservoir(g, c.disableReservoir ? 1 : 0);
    a.setStrictIso(g, c.strictIso ? 1 : 0);
    if (!c.enableVbr) {
        a.setVbr(g, vbr_off);
        a.setBrate(g, int(c.bitRate));
    } else {
        if (c.preset == 4) {
            a.setPreset(g, R3MIX);
        } else if (c.vbrMethod == 4) {
            a.setVbr(g, vbr_abr);
            a.setVbrMean(g, int(c.abrBitsPerSecond / 1000));
        } else {
            a.setVbr(g, vbr_default);
            a.setVbrQ(g, int(c.vbrQuality));
        }
        a.setVbrMin(g, int(c.bitRate));
        a.setVbrMax(g, int(c.maxBitRate));
    }
    a.setQuality(g, c.quality & 0xFF);
    if (a.initParams(g) < 0) {
        a.close(g);
        return InvalidConfig;
    }
    const int frame = a.getFramesize(g);
    if (frame <= 0) {
        a.close(g);
        return InvalidConfig;
    }
    auto* s = new LameStream;
    s->gfp = g;
    s->samplesPerChannel = frame;
    s->outSize = outputBufferSize(frame);
    *samplesPerChunk = quint32(frame) * 2;
    *outBufferSize = s->outSize;
    *stream = s;
    return Ok;
}

int LameBinding::encodeChunk(Stream stream, quint32 samples, const qint16* pcm, quint8* out,
                             quint32* written) {
    if (!isLoaded()) return NotBound;
    auto* s = static_cast<LameStream*>(stream);
    if (!s || !s->gfp) return InvalidHandle;
    if (!pcm || !out || !written || samples % 2 != 0) return InvalidParameters;
    const int n = m_api->encodeInterleaved(s->gfp, const_cast<short int*>(pcm), int(samples / 2),
                                           out, int(s->outSize));
    if (n < 0) {
        *written = 0;
        return n == -1 ? BufferTooSmall : InvalidParameters;
    }
    *written = quint32(n);
    return Ok;
}

int LameBinding::deinitStream(Stream stream, quint8* out, quint32* written) {
    if (!isLoaded()) return NotBound;
    auto* s = static_cast<LameStream*>(stream);
    if (!s || !s->gfp) return InvalidHandle;
    if (!out || !written) return InvalidParameters;
    const int n = m_api->flush(s->gfp, out, int(s->outSize));
    *written = n > 0 ? quint32(n) : 0;
    return n < 0 ? BufferTooSmall : Ok;
}

int LameBinding::closeStream(Stream stream) {
    if (!isLoaded()) return NotBound;
    auto* s = static_cast<LameStream*>(stream);
    if (!s || !s->gfp) return InvalidHandle;
    m_api->close(s->gfp);
    delete s;
    return Ok;
}

int LameBinding::version(EncoderVersion* v) {
    if (!isLoaded()) return NotBound;
    if (!v) return InvalidParameters;
    lame_version_t lv{};
    m_api->versionNumerical(&lv);
    *v = EncoderVersion{};
    v->engineMajor = lv.major;
    v->engineMinor = lv.minor;
    v->alpha = lv.alpha;
    v->beta = lv.beta;
    v->mmx = lv.features && QByteArray(lv.features).toUpper().contains("MMX");
    static const QRegularExpression soVersion(QStringLiteral("\\.so\\.(\\d+)(?:\\.(\\d+))?"));
    const QFileInfo fi(m_path);
    const auto m = soVersion.match(fi.fileName());
    if (m.hasMatch()) {
        v->libMajor = m.captured(1).toInt();
        v->libMinor = m.captured(2).toInt();
    }
    const QDate d = fi.lastModified().date();
    if (d.isValid()) {
        v->day = d.day();
        v->month = d.month();
        v->year = d.year();
    }
    return Ok;
}
