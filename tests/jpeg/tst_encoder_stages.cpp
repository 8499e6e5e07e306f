// The encoder's stages where whole files against the plain encoder would miss
// a fault: colour samples at exact halves, every vector version of sampling
// and transform against the plain one, byte stuffing of whole 0xFF words, the
// bound the stream is sized by, and the quantisation tables of each quality
// against libjpeg's.
#include <QtTest>

#include <cstdio>
#include <random>

#include <jpeglib.h>

#include "jpeg/internal/encoder.h"

using namespace jpeg;

namespace {

std::unique_ptr<JpegEncoder> FreshEncoder(std::int32_t quality = 50)
{
    auto e = std::make_unique<JpegEncoder>();
    InitTables(quality, e->Tables);
    DeriveTables(e->Tables);
    e->Stream.Reset(1 << 16);
    return e;
}

PixelRows Uniform(std::vector<std::uint32_t>& storage, std::uint32_t argb)
{
    storage.assign(256, argb);
    return {storage.data(), 16, 16, 16};
}

}  // namespace

class EncoderStages : public QObject {
    Q_OBJECT

private slots:
    void colourSamplesOfPlainColours_data()
    {
        QTest::addColumn<uint>("argb");
        QTest::addColumn<int>("y");
        QTest::addColumn<int>("cb");
        QTest::addColumn<int>("cr");
        QTest::newRow("blue: 127.5 rounds to even 128") << 0xFF0000FFu << -99 << 128 << -21;
        QTest::newRow("cyan: -127.5000019 gives -128") << 0xFF00FFFFu << 51 << 43 << -128;
    }
    void colourSamplesOfPlainColours()
    {
        QFETCH(uint, argb);
        QFETCH(int, y);
        QFETCH(int, cb);
        QFETCH(int, cr);
        auto e = FreshEncoder();
        std::vector<std::uint32_t> px;
        SampleMcu(*e, Uniform(px, argb), 0, 0);
        for (int i = 0; i < 256; ++i)
            QCOMPARE(e->YSamples()[i], y);
        for (int i = 0; i < 64; ++i) {
            QCOMPARE(e->CbSamples()[i], cb);
            QCOMPARE(e->CrSamples()[i], cr);
        }
    }

    // Noise, smooth ramps and extremes (which hit the halfway cases) through
    // every vector version of sampling and transform, against the plain one;
    // for the transforms also flat blocks (DC exactly at a half), faint
    // noise around a level and a few small samples on zero, the blocks of
    // real photographs, among which some coefficients fall near a half. At
    // quality 100 every step is 1, and the most coefficients do.
    void everyKernelMatchesThePlainOne_data()
    {
        QTest::addColumn<int>("quality");
        QTest::newRow("50") << 50;
        QTest::newRow("100") << 100;
    }
    void everyKernelMatchesThePlainOne()
    {
        QFETCH(int, quality);
        std::mt19937 random(11), samples(7);
        std::uint32_t pixels[16][16];
        const std::uint32_t* rows[16];
        for (int i = 0; i < 16; ++i)
            rows[i] = pixels[i];
        auto e = FreshEncoder(quality);
        std::int32_t expected[384], got[384];
        for (int round = 0; round < 3000; ++round) {
            for (auto& row : pixels)
                for (auto& p : row)
                    p = round % 2 ? static_cast<std::uint32_t>(random())
                                  : (random() % 2 ? 0xFFFFFFFFu : 0xFF000000u) ^ (random() % 8 ? 0 : 0xFFu);
            AvailableSamplers().front().run(rows, expected, expected + 256, expected + 320);  // the portable one
            for (const SampleKernelInfo& k : AvailableSamplers()) {
                std::fill(std::begin(got), std::end(got), 777);
                k.run(rows, got, got + 256, got + 320);
                QVERIFY2(std::equal(got, got + 384, expected), k.name);
            }
            const int level = static_cast<int>(samples() % 256) - 128;
            for (int i = 0; i < 384; ++i) {
                const int block = i / 64, n = i % 64, kind = (round + block) % 6;
                const int lo = block == 4 ? -127 : -128, hi = block < 4 ? 127 : 128;
                const int v = kind == 0   ? static_cast<int>(samples() % 256) - 128
                            : kind == 1   ? (n % 8) * 16 - 60 + (n / 8) * 3 + static_cast<int>(samples() % 3)
                            : kind == 2   ? ((samples() & 1) ? hi : lo)
                            : kind == 3   ? level
                            : kind == 4   ? level + static_cast<int>(samples() % 9) - 4
                            : samples() % 8 ? 0 : static_cast<int>(samples() % 7) - 3;
                e->Samples[i] = std::clamp(v, lo, hi);
            }
            TransformMcuReference(e->Tables, e->Samples, expected);
            for (const TransformKernel& k : AvailableTransforms()) {
                std::fill(std::begin(e->Coefs), std::end(e->Coefs), 12345);
                k.run(e->Tables, e->Samples, e->Coefs);
                QVERIFY2(std::equal(e->Coefs, e->Coefs + 384, expected), k.name);
            }
        }
    }

    void wholeWordsOfOnesAreStuffed()
    {
        JpegStream s;
        s.Reset(256);
        for (int i = 0; i < 10; ++i)
            s.PutRaw(0xFFFFFFFFu, 32);
        s.PadLastByte();
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(s.Data()), qsizetype(s.Size())), QByteArray("\xFF\x00", 2).repeated(40));
    }

    void qualityTablesAndTheWorstCase_data()
    {
        QTest::addColumn<int>("quality");
        for (const int q : {1, 10, 49, 50, 51, 85, 100, 0, 101, -7})
            QTest::newRow(qPrintable(QString::number(q))) << q;
    }
    void qualityTablesAndTheWorstCase()
    {
        // The quantisation tables of a quality are those libjpeg makes of it.
        QFETCH(int, quality);
        auto e = FreshEncoder(quality);
        jpeg_compress_struct c{};
        jpeg_error_mgr errors{};
        c.err = jpeg_std_error(&errors);
        jpeg_create_compress(&c);
        jpeg_set_quality(&c, quality, TRUE);
        for (int table = 0; table < 2; ++table)
            for (int i = 0; i < 64; ++i)  // libjpeg keeps its tables in natural order too
                QCOMPARE(e->Tables.QuantTable[table][i], int(c.quant_tbl_ptrs[table]->quantval[i]));
        jpeg_destroy_compress(&c);

        // Alternating extremes give the largest coefficients the transform can
        // make; the coded MCU must stay below the bound the stream is sized by.
        std::mt19937 random(3);
        std::size_t most = 0;
        for (int round = 0; round < 300; ++round) {
            for (int i = 0; i < 384; ++i) {
                const int lo = i >= 256 && i < 320 ? -127 : -128, hi = i < 256 ? 127 : 128;
                e->Samples[i] = (round % 2 == 0) ? (((i % 64) / 8 + i % 8 + (random() % 4 == 0)) % 2 ? hi : lo)
                                                  : static_cast<int>(random() % 256) + lo;
            }
            e->Stream.Reset(1 << 16);
            TransformMcu(*e);
            for (int b = 0; b < 4; ++b)
                EncodeBlock(*e, 0, e->CoefY(b));
            EncodeBlock(*e, 1, e->CoefCb());
            EncodeBlock(*e, 2, e->CoefCr());
            e->Stream.PadLastByte();
            most = std::max(most, e->Stream.Size());
        }
        QVERIFY2(most <= WorstCaseMcuBytes(e->Tables),
                 qPrintable(QStringLiteral("%1 > %2").arg(most).arg(WorstCaseMcuBytes(e->Tables))));
    }
};

QTEST_APPLESS_MAIN(EncoderStages)
#include "tst_encoder_stages.moc"
