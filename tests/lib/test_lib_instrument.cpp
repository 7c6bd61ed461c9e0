// The I/O routines of the library against tarn-sim over a raw socket.

#include <algorithm>
#include <string>
#include <thread>

#include "lib/LibTest.h"
#include "system/support_sim.h"
#include "system/support_waveform.h"

using namespace libtest;
using onex::testsim::SimProcess;

namespace {

class Instrument : public LibTest {
  protected:
    void SetUp() override {
        LibTest::SetUp();
        sim_ = onex::testsim::startSim();
        ASSERT_TRUE(sim_);
        const char* top[] = {"type", "TCPIP"};
        config_.reset(mxCreateStructMatrix(1, 1, 2, top));
        mxSetField(config_.get(), 0, "type", mxCreateString("TCPIP"));
        const char* lan[] = {"address", "board"};
        mxArray* t = mxCreateStructMatrix(1, 1, 2, lan);
        mxSetField(t, 0, "address", mxCreateString(sim_->rawAddress().c_str()));
        mxSetField(t, 0, "board", mxCreateDoubleScalar(0));
        mxSetField(config_.get(), 0, "TCPIP", t);
    }
    void TearDown() override {
        config_.reset();
        LibTest::TearDown();  // closes the connections before the simulator goes
        if (sim_) {
            EXPECT_TRUE(sim_->stop());
        }
    }
    std::unique_ptr<SimProcess> sim_;
    Owned config_;
};

TEST_F(Instrument, PingQueryAndSend) {
    Call c = callMlx(mlxhwPing, 2, {config_.get()});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(mxGetScalar(c[0]), 0) << text(c[1]);
    c = callMlx(mlxVerifyComm, 2, {config_.get()});
    EXPECT_EQ(mxGetScalar(c[0]), 0) << text(c[1]);

    Owned idn = str("*IDN?");
    c = callMlx(mlxhwQuery, 2, {config_.get(), idn.get()});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(mxGetScalar(c[0]), 0);
    EXPECT_FALSE(text(c[1]).empty());

    Owned freq = str(":source:freq:fix 1900000000Hz"), query = str(":source:freq:fix?");
    c = callMlx(mlxhwSend, 2, {config_.get(), freq.get()});
    EXPECT_EQ(mxGetScalar(c[0]), 0) << text(c[1]);
    c = callMlx(mlxhwQuery, 2, {config_.get(), query.get()});
    EXPECT_EQ(mxGetScalar(c[0]), 0) << text(c[1]);
    EXPECT_EQ(std::stod(text(c[1])), 1.9e9);

    Owned timeout = num(10000);
    c = callMlx(mlxhwSetTimeout, 2, {config_.get(), timeout.get()});
    EXPECT_EQ(mxGetScalar(c[0]), 0) << text(c[1]);
    c = callMlx(mlxhwReturnLocal, 2, {config_.get()});
    EXPECT_EQ(mxGetScalar(c[0]), 0) << text(c[1]);
}

// Markers as the frame builder returns them: 2 x N, row 1 = marker1.
Owned markerArray(const onex::testsim::KnownWaveform& w) {
    Owned markers(mxCreateDoubleMatrix(2, w.data.size(), mxREAL));
    for (std::size_t i = 0; i < w.data.size(); ++i) {
        mxGetPr(markers.get())[2 * i] = w.marker1[i];
        mxGetPr(markers.get())[2 * i + 1] = w.marker2[i];
    }
    return markers;
}

TEST_F(Instrument, DownloadStoresTheWaveformAndBothMarkerRows) {
    const auto w = onex::testsim::knownWaveform(5000);
    Owned data = complexRow(w.data);
    Owned markers = markerArray(w);
    // Inputs 4 and 5 are never read, whatever they hold.
    Owned ignored4(mxCreateCellMatrix(1, 1)), ignored5 = str("anything"), name = str("LIBWAVE");
    Call c = callMlx(
        mlxhwDownload, 2,
        {config_.get(), data.get(), markers.get(), ignored4.get(), ignored5.get(), name.get()});
    ASSERT_TRUE(c.ok) << c.error;
    ASSERT_EQ(mxGetScalar(c[0]), 0) << text(c[1]);
    const auto iq = sim_->storedFile("LIBWAVE.iq");
    ASSERT_EQ(iq.size(), w.expectedIq.size());
    EXPECT_TRUE(std::equal(iq.begin(), iq.end(), w.expectedIq.begin()));
    EXPECT_EQ(sim_->storedFile("LIBWAVE.markers"), w.expectedMarkers);

    // A marker array of three rows is refused before anything is sent.
    Owned three(mxCreateDoubleMatrix(3, w.data.size(), mxREAL));
    c = callMlx(
        mlxhwDownload, 2,
        {config_.get(), data.get(), three.get(), ignored4.get(), ignored5.get(), name.get()});
    EXPECT_FALSE(c.ok);
    EXPECT_EQ(c.error,
              "hwDownload: input 3 (markers) must be a marker array of one or two rows, got a "
              "3x5000 double.");
}

// Signal-generator settings the panel could hold.
Owned settings(const char* title) {
    const char* names[] = {"Title",       "Frequency",  "Amplitude",    "SamplingRate",
                           "ReconFilter", "RFblanking", "ArbRefSource", "MarkerPolarity"};
    Owned s(mxCreateStructMatrix(1, 1, 8, names));
    mxSetField(s.get(), 0, "Title", mxCreateString(title));
    mxSetField(s.get(), 0, "Frequency", mxCreateDoubleScalar(1.9e9));
    mxSetField(s.get(), 0, "Amplitude", mxCreateDoubleScalar(-12.5));
    mxSetField(s.get(), 0, "SamplingRate", mxCreateDoubleScalar(6144000));
    mxSetField(s.get(), 0, "ReconFilter", mxCreateDoubleScalar(2));
    mxSetField(s.get(), 0, "RFblanking", mxCreateDoubleScalar(0));
    mxSetField(s.get(), 0, "ArbRefSource", mxCreateDoubleScalar(0));
    mxSetField(s.get(), 0, "MarkerPolarity", mxCreateDoubleScalar(0));
    return s;
}

TEST_F(Instrument, DownloadAndPlayWithTheSequenceRoutines) {
    const auto w = onex::testsim::knownWaveform(3000);
    Owned data = complexRow(w.data);
    Owned markers = markerArray(w);
    Owned name = str("LIBSEQ");
    Call c =
        callMlx(mlxTARNDownLoadWrap, 2, {data.get(), markers.get(), name.get(), config_.get()});
    ASSERT_TRUE(c.ok) << c.error;
    ASSERT_EQ(mxGetScalar(c[0]), 0) << text(c[1]);
    EXPECT_EQ(sim_->storedFile("LIBSEQ.markers"), w.expectedMarkers);

    Owned s = settings("LIBSEQ");
    c = callMlx(mlxTARNPlay, 2, {name.get(), s.get(), config_.get()});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(mxGetScalar(c[0]), 0) << text(c[1]);
    Owned query = str(":source:freq:fix?");
    c = callMlx(mlxhwQuery, 2, {config_.get(), query.get()});
    EXPECT_EQ(std::stod(text(c[1])), 1.9e9);
    Owned power = str(":power?");
    c = callMlx(mlxhwQuery, 2, {config_.get(), power.get()});
    EXPECT_EQ(std::stod(text(c[1])), -12.5);

    // A waveform the instrument does not hold: refused, and the output the
    // list switched on is off again.
    Owned missing = str("NOT-STORED");
    c = callMlx(mlxTARNPlay, 2, {missing.get(), s.get(), config_.get()});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(mxGetScalar(c[0]), 5);
    EXPECT_NE(text(c[1]).find("The RF output was switched off."), std::string::npos) << text(c[1]);
    Owned output = str(":output?");
    c = callMlx(mlxhwQuery, 2, {config_.get(), output.get()});
    EXPECT_EQ(text(c[1]), "0");

    // Platform "c" needs its four further settings: refused, nothing sent.
    c = callMlx(mlxTARNPlay_c, 2, {name.get(), s.get(), config_.get()});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_NE(mxGetScalar(c[0]), 0);

    // A setting that is no number is an error of the call.
    mxSetField(s.get(), 0, "Frequency", mxCreateString("fast"));
    c = callMlx(mlxTARNPlay, 2, {name.get(), s.get(), config_.get()});
    EXPECT_FALSE(c.ok);
    EXPECT_EQ(c.error,
              "TARNPlay: input 2 (setting): Frequency must be a real number, got a 1x4 char.");
}

TEST_F(Instrument, CorrectionLookupWithoutAFileGivesAStatus) {
    const std::string folder = "/nonexistent-onex-corrections";
    Owned freq = num(1.9e9), dir = str(folder.c_str());
    Call c = callMlx(mlxGetCorrectionData, 3, {freq.get(), config_.get(), dir.get()});
    ASSERT_TRUE(c.ok) << c.error;
    ASSERT_TRUE(mxIsChar(c[0]));
    EXPECT_FALSE(text(c[0]).empty());
    EXPECT_TRUE(mxIsEmpty(c[1]));
    EXPECT_EQ(mxGetScalar(c[2]), 0);

    // Without an instrument the identity query's numeric status comes back.
    sim_->stop();
    sim_.reset();
    c = callMlx(mlxGetCorrectionData, 3, {freq.get(), config_.get(), dir.get()});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_TRUE(mxIsDouble(c[0]));
    EXPECT_NE(mxGetScalar(c[0]), 0);
}

// Two instruments at once, each on a connection of the host's own: used in
// turn and from two threads, each connection stays open until its hwClose,
// whatever the other does.
TEST_F(Instrument, ConnectionsOfTheHostsOwn) {
    auto second = onex::testsim::startSim();
    ASSERT_TRUE(second);
    Owned config2(mxDuplicateArray(config_.get()));
    mxSetField(mxGetField(config2.get(), 0, "TCPIP"), 0, "address",
               mxCreateString(second->rawAddress().c_str()));
    Call c = callMlx(mlxhwOpen, 1, {config_.get()});
    ASSERT_TRUE(c.ok) << c.error;
    Owned one(mxDuplicateArray(c[0]));
    c = callMlx(mlxhwOpen, 1, {config2.get()});
    ASSERT_TRUE(c.ok) << c.error;
    Owned two(mxDuplicateArray(c[0]));

    const auto setAndRead = [](const mxArray* h, const char* hz) {
        Owned set = str((std::string(":freq ") + hz).c_str()), get = str(":freq?");
        Call r = callMlx(mlxhwSend, 2, {h, set.get()});
        if (!r.ok || mxGetScalar(r[0]) != 0) return std::string("send failed");
        r = callMlx(mlxhwQuery, 2, {h, get.get()});
        return r.ok && mxGetScalar(r[0]) == 0 ? text(r[1]) : "query failed";
    };
    EXPECT_EQ(setAndRead(one.get(), "1000000000"), "1000000000");
    EXPECT_EQ(setAndRead(two.get(), "2000000000"), "2000000000");
    std::string got1, got2;
    {
        std::jthread a([&] {
            for (int i = 0; i < 20; ++i)
                got1 = setAndRead(one.get(), "1100000000");
        });
        std::jthread b([&] {
            for (int i = 0; i < 20; ++i)
                got2 = setAndRead(two.get(), "2200000000");
        });
    }
    EXPECT_EQ(got1, "1100000000");
    EXPECT_EQ(got2, "2200000000");

    c = callMlx(mlxhwClose, 2, {one.get()});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(mxGetScalar(c[0]), 0);
    EXPECT_TRUE(onex::testsim::waitForLog(*sim_, "CLOSE tcp#1")) << sim_->logText();
    EXPECT_EQ(setAndRead(two.get(), "2300000000"), "2300000000");
    // One connection each, from first use to hwClose.
    EXPECT_FALSE(onex::testsim::contains(sim_->logText(), "OPEN tcp#2")) << sim_->logText();
    EXPECT_FALSE(onex::testsim::contains(second->logText(), "OPEN tcp#2")) << second->logText();
    EXPECT_FALSE(onex::testsim::contains(second->logText(), "CLOSE")) << second->logText();

    // A closed handle is refused; closing it again says it is not open.
    Owned idn = str("*IDN?");
    c = callMlx(mlxhwQuery, 2, {one.get(), idn.get()});
    EXPECT_FALSE(c.ok);
    EXPECT_NE(c.error.find("is open (never opened, or closed with hwClose)"), std::string::npos)
        << c.error;
    c = callMlx(mlxhwClose, 2, {one.get()});
    EXPECT_EQ(mxGetScalar(c[0]), 1);
    c = callMlx(mlxhwClose, 2, {two.get()});
    EXPECT_EQ(mxGetScalar(c[0]), 0);
}

TEST_F(Instrument, AnInstrumentThatIsGoneIsAStatusNotAnError) {
    sim_->stop();
    sim_.reset();
    Owned idn = str("*IDN?");
    Call c = callMlx(mlxhwQuery, 2, {config_.get(), idn.get()});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_NE(mxGetScalar(c[0]), 0);
    EXPECT_FALSE(text(c[1]).empty());
}

}  // namespace
