// The encoder's stages one by one: tables, colour sampling, the transform
// (every vector version against the plain one) and the entropy coder's bits.
#include <QtTest>

#include <random>

#include "jpeg/internal/encoder.h"

using namespace ModuleJPEG;

namespace {

// The bits a stream holds after padding, as a string of '0' and '1' with the
// padding removed (padBits trailing 1-bits are dropped by the caller).
QString Bits(JpegStream& s)
{
    s.PadLastByte();
    QString bits;
    for (std::size_t i = 0; i < s.Size(); ++i)
        bits += QString::number(s.Data()[i], 2).rightJustified(8, QLatin1Char('0'));
    return bits;
}

QByteArray Bytes(JpegStream& s)
{
    s.PadLastByte();
    return QByteArray(reinterpret_cast<const char*>(s.Data()), static_cast<qsizetype>(s.Size()));
}

std::unique_ptr<JpegEncoder> FreshEncoder()
{
    auto e = std::make_unique<JpegEncoder>();
    InitTables(50, e->Tables);
    e->Stream.Reset(1 << 16);
    return e;
}

QString CodeBits(std::int32_t code, int length)
{
    return QString::number(static_cast<std::uint32_t>(code) & ((1u << length) - 1u), 2)
        .rightJustified(length, QLatin1Char('0'));
}

PixelRows Uniform(std::vector<std::uint32_t>& storage, std::uint32_t argb)
{
    storage.assign(256, argb);
    return {storage.data(), 16, 16, 16};
}

void SampleRowsPortableForTest(const std::uint32_t* const rows[16], std::int32_t* out)
{
    AvailableSamplers().front().run(rows, out, out + 256, out + 320);
}

}  // namespace

class EncoderStages : public QObject {
    Q_OBJECT

private slots:
    void tablesHoldTheStandardValues()
    {
        CodingTables t;
        InitTables(50, t);
        QCOMPARE(t.QuantTable[0][0], 16);
        QCOMPARE(t.QuantTable[0][2], 10);
        QCOMPARE(t.QuantTable[0][63], 99);
        QCOMPARE(t.QuantTable[1][0], 17);
        QCOMPARE(t.QuantTable[1][4], 99);
        QCOMPARE(t.QuantTable[1][18], 56);
        QCOMPARE(t.QuantTable[1][27], 99);

        QCOMPARE(CodeBits(t.DcHuffCode[0][0], t.DcHuffLen[0][0]), QStringLiteral("00"));
        QCOMPARE(CodeBits(t.DcHuffCode[0][11], t.DcHuffLen[0][11]), QStringLiteral("111111110"));
        QCOMPARE(CodeBits(t.DcHuffCode[1][1], t.DcHuffLen[1][1]), QStringLiteral("01"));
        QCOMPARE(CodeBits(t.DcHuffCode[1][11], t.DcHuffLen[1][11]), QStringLiteral("11111111110"));

        QCOMPARE(CodeBits(t.AcHuffCode[0][0], t.AcHuffLen[0][0]), QStringLiteral("1010"));
        QCOMPARE(CodeBits(t.AcHuffCode[0][1], t.AcHuffLen[0][1]), QStringLiteral("00"));
        QCOMPARE(CodeBits(t.AcHuffCode[0][151], t.AcHuffLen[0][151]), QStringLiteral("11111111001"));
        QCOMPARE(CodeBits(t.AcHuffCode[0][152], t.AcHuffLen[0][152]), QStringLiteral("1111111111110101"));
        QCOMPARE(t.AcHuffCode[0][152], -11);  // a 16-bit word with its top bit set, held signed
        QCOMPARE(t.AcHuffCode[0][9], -126);   // run 0, size 9
        QCOMPARE(CodeBits(t.AcHuffCode[1][0], t.AcHuffLen[1][0]), QStringLiteral("00"));
        QCOMPARE(CodeBits(t.AcHuffCode[1][151], t.AcHuffLen[1][151]), QStringLiteral("1111111010"));
        QCOMPARE(t.AcHuffLen[1][152], 15);
        QCOMPARE(t.AcHuffCode[1][152], 32707);
        QCOMPARE(t.AcHuffCode[1][161], -2);

        QCOMPARE(t.ZigZag[2], 8);
        QCOMPARE(t.ZigZag[63], 63);

        for (int n = 0; n < 64; ++n)
            QCOMPARE(t.DctMatrix[n], 1.0f);
        QCOMPARE(t.DctScale[0], 0.5f);
        QCOMPARE(t.DctScale[1], 0.70710677f);
        QCOMPARE(t.DctScale[8], 0.70710677f);
        QCOMPARE(t.DctScale[9], 1.0f);
        QCOMPARE(t.QuantFactor[0][0], 1.0 / 128);
        // Every AC index has a code: 162 symbols, each once.
        for (int table = 0; table < 2; ++table)
            for (int i = 0; i < 162; ++i)
                QVERIFY2(t.AcHuffLen[table][i] >= 2 && t.AcHuffLen[table][i] <= 16, qPrintable(QString::number(i)));
    }

    void colourSamplesOfPlainColours_data()
    {
        QTest::addColumn<uint>("argb");
        QTest::addColumn<int>("y");
        QTest::addColumn<int>("cb");
        QTest::addColumn<int>("cr");
        QTest::newRow("white") << 0xFFFFFFFFu << 127 << 0 << 0;
        QTest::newRow("black") << 0xFF000000u << -128 << 0 << 0;
        QTest::newRow("blue: 127.5 rounds to even 128") << 0xFF0000FFu << -99 << 128 << -21;
        QTest::newRow("red") << 0xFFFF0000u << -52 << -43 << 128;
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

    void everySamplerMatchesThePortableOne()
    {
        std::mt19937 random(11);
        std::uint32_t pixels[16][16];
        const std::uint32_t* rows[16];
        for (int i = 0; i < 16; ++i)
            rows[i] = pixels[i];
        std::int32_t expected[384], got[384];
        for (int round = 0; round < 300; ++round) {
            for (auto& row : pixels)
                for (auto& p : row) {
                    // Noise, and extremes that hit the halfway cases (127.5).
                    p = round % 2 ? static_cast<std::uint32_t>(random()) : (random() % 2 ? 0xFFFFFFFFu : 0xFF000000u) ^ (random() % 8 ? 0 : 0xFFu);
                }
            SampleRowsPortableForTest(rows, expected);
            for (const SampleKernelInfo& k : AvailableSamplers()) {
                std::fill(std::begin(got), std::end(got), 777);
                k.run(rows, got, got + 256, got + 320);
                for (int i = 0; i < 384; ++i)
                    QVERIFY2(got[i] == expected[i], qPrintable(QStringLiteral("%1 round %2 index %3").arg(QLatin1String(k.name)).arg(round).arg(i)));
            }
        }
    }

    void transformOfUniformBlocks()
    {
        // The luminance DC is the block's sum / 128, halves to even.
        const struct {
            int sum, dc;
        } cases[] = {{64, 0}, {192, 2}, {320, 2}, {-64, 0}, {-192, -2}, {-128 * 64, -64}, {127 * 64, 64}};
        auto e = FreshEncoder();
        for (const auto& c : cases) {
            std::fill(std::begin(e->Samples), std::end(e->Samples), 0);
            const int value = c.sum / 64, extra = c.sum % 64;
            for (int n = 0; n < 64; ++n)
                e->Samples[n] = value + (n < extra ? 1 : n < -extra ? -1 : 0);
            for (const TransformKernel& k : AvailableTransforms()) {
                k.run(e->Tables, e->Samples, e->Coefs);
                QVERIFY2(e->Coefs[0] == c.dc, qPrintable(QStringLiteral("%1 sum %2").arg(QLatin1String(k.name)).arg(c.sum)));
                if (extra == 0)
                    for (int i = 1; i < 64; ++i)
                        QCOMPARE(e->Coefs[i], 0);
                for (int i = 64; i < 384; ++i)
                    QCOMPARE(e->Coefs[i], 0);  // blocks are independent
            }
        }
    }

    void everyTransformMatchesThePlainOne()
    {
        std::mt19937 random(7);
        auto e = FreshEncoder();
        std::int32_t expected[384];
        for (int round = 0; round < 400; ++round) {
            // Mix full-range noise, smooth ramps and extreme values.
            for (int i = 0; i < 384; ++i) {
                const int block = i / 64, n = i % 64;
                const int kind = (round + block) % 3;
                const int lo = block == 4 ? -127 : -128, hi = block < 4 ? 127 : 128;
                int v = kind == 0 ? static_cast<int>(random() % 256) - 128
                      : kind == 1 ? (n % 8) * 16 - 60 + (n / 8) * 3 + static_cast<int>(random() % 3)
                                  : ((random() & 1) ? hi : lo);
                e->Samples[i] = std::clamp(v, lo, hi);
            }
            TransformMcuReference(e->Tables, e->Samples, expected);
            for (const TransformKernel& k : AvailableTransforms()) {
                std::fill(std::begin(e->Coefs), std::end(e->Coefs), 12345);
                k.run(e->Tables, e->Samples, e->Coefs);
                for (int i = 0; i < 384; ++i)
                    QVERIFY2(e->Coefs[i] == expected[i],
                             qPrintable(QStringLiteral("%1 round %2 index %3").arg(QLatin1String(k.name)).arg(round).arg(i)));
            }
        }
    }

    void zeroRunsAndEndOfBlock_data()
    {
        // Zig-zag positions of coefficients equal to 1, and the AC bits that
        // follow the DC code 00: ZRL is 11111111001, (0,1) 001 with its
        // amplitude, (15,1) 1111111111110101 then 1, EOB 1010.
        QTest::addColumn<QList<int>>("ones");
        QTest::addColumn<QString>("bits");
        const QString zrl = QStringLiteral("11111111001");
        const QString one = QStringLiteral("001");
        const QString eob = QStringLiteral("1010");
        QTest::newRow("15 zeros: run-15 symbol, no ZRL") << QList<int>{16} << QStringLiteral("11111111111101011") + eob;
        QTest::newRow("16 zeros: one ZRL") << QList<int>{17} << zrl + one + eob;
        QTest::newRow("32 zeros: two ZRLs") << QList<int>{33} << zrl + zrl + one + eob;
        QTest::newRow("40 trailing zeros: only EOB") << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23}
                                                     << one.repeated(23) + eob;
        QList<int> all;
        for (int k = 1; k < 64; ++k)
            all << k;
        QTest::newRow("nonzero last: no EOB") << all << one.repeated(63);
    }
    void zeroRunsAndEndOfBlock()
    {
        QFETCH(QList<int>, ones);
        QFETCH(QString, bits);
        auto e = FreshEncoder();
        std::int32_t c[64] = {};
        for (int position : ones)
            c[e->Tables.ZigZag[position]] = 1;
        EncodeBlock(*e, 0, c);
        const QString written = Bits(e->Stream);
        QCOMPARE(written.mid(2, bits.size()), bits);
        QVERIFY(written.mid(2 + bits.size()).count(QLatin1Char('0')) == 0);  // then only padding
        QVERIFY(written.size() - 2 - bits.size() < 8);
    }

    void stuffingAndPadding()
    {
        {
            // Seven 1-bits padded to 0xFF: a stuffed 0x00 follows.
            JpegStream s;
            s.Reset(64);
            s.PutBits(0x7F, 7);
            QCOMPARE(Bytes(s), QByteArray("\xFF\x00", 2));
        }
        {
            // Many whole 0xFF words go through the fast path and stay stuffed.
            JpegStream s;
            s.Reset(256);
            for (int i = 0; i < 10; ++i)
                s.PutRaw(0xFFFFFFFFu, 32);
            const QByteArray out = Bytes(s);
            QCOMPARE(out.size(), 80);
            QCOMPARE(out.count(QByteArray("\xFF\x00", 2)), 40);
        }
    }

    void wholeMcusAtTheStartOfASave()
    {
        std::vector<std::uint32_t> px;
        const struct {
            std::uint32_t argb;
            QByteArray bytes;
        } cases[] = {
            {0xFF808080u, QByteArray("\x28\xA2\x8A\x00\x28\xA2\x8A\x00", 8)},  // two grey MCUs
            {0xFFFFFFFFu, QByteArray("\xF4\x0A\x28\xA2\x80\x3F", 6)},
            {0xFF000000u, QByteArray("\xF3\xFA\x28\xA2\x80\x3F", 6)},
        };
        for (const auto& c : cases) {
            auto e = FreshEncoder();
            const PixelRows rows = Uniform(px, c.argb);
            const int mcus = c.argb == 0xFF808080u ? 2 : 1;
            for (int m = 0; m < mcus; ++m) {
                SampleMcu(*e, rows, 0, 0);
                TransformMcu(*e);
                for (int b = 0; b < 4; ++b)
                    EncodeBlock(*e, 0, e->CoefY(b));
                EncodeBlock(*e, 1, e->CoefCb());
                EncodeBlock(*e, 2, e->CoefCr());
            }
            QCOMPARE(Bytes(e->Stream), c.bytes);
        }
    }

    void worstCaseCoversTheNoisiestMcu()
    {
        // Alternating extremes give the largest coefficients the transform can
        // make; the coded MCU must stay below the bound the stream is sized by.
        auto e = FreshEncoder();
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
