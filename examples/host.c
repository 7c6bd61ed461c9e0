/*
 * host.c - a small host program of OneX_Rev_b_lib.
 *
 * Computes the frame of the default parameter set with mlfOneX_RevTrfChn
 * from values built here, writes it as a Halberd waveform file (raw
 * big-endian 16-bit I/Q) with mlfsaveHalberdWaveform, and frees everything.
 *
 *   cc host.c $(pkg-config --cflags --libs OneX_Rev_b_lib) -o host
 *   ./host [FILE]          (default FILE: default-frame.bin)
 */
#include <stdio.h>
#include <stdlib.h>

#include "OneX_Rev_b_lib.h"

/* A 1 x n row of doubles all equal to value. */
static mxArray* filledRow(size_t n, double value) {
    mxArray* row = mxCreateDoubleMatrix(1, n, mxREAL);
    if (row) {
        double* p = mxGetPr(row);
        for (size_t i = 0; i < n; ++i)
            p[i] = value;
    }
    return row;
}

static int fail(const char* what) {
    const char* why = OneX_Rev_b_libLastError();
    fprintf(stderr, "host: %s failed%s%s\n", what, why ? ": " : "", why ? why : "");
    return 1;
}

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "default-frame.bin";
    /* A host runs with a library of the major version it was built for. */
    if (atoi(OneX_Rev_b_libVersion()) != ONEX_REV_B_LIB_VERSION_MAJOR) {
        fprintf(stderr, "host: built for OneX_Rev_b_lib %s, found %s\n", ONEX_REV_B_LIB_VERSION,
                OneX_Rev_b_libVersion());
        return 1;
    }
    if (!OneX_Rev_b_libInitialize()) {
        fprintf(stderr, "host: the library could not be initialised\n");
        return 1;
    }

    /* The default parameter set: every channel off, the encoder on at data
       rate 1 with a PN15 payload, both long-code masks 3FFFFFFFFFF,
       oversampling 5, the IS-95 ACP filter, no mirroring. */
    mxArray* zero = mxCreateDoubleScalar(0);
    mxArray* one = mxCreateDoubleScalar(1);
    mxArray* mask = mxCreateDoubleScalar(4398046511103.0);
    mxArray* oversampling = mxCreateDoubleScalar(5);
    mxArray* filterType = mxCreateDoubleScalar(3);
    mxArray* ackSlots = filledRow(16, 1);
    mxArray* drcSlots = filledRow(17, 1);
    mxArray* drcValues = filledRow(17, 15);
    mxArray* drcCovers = filledRow(17, 7);

    /* The Data bits as the application prepares them: a 234-bit PN15
       payload (source type 6, data rate 1) in a physical-layer packet. */
    mxArray* sourceType = mxCreateDoubleScalar(6);
    mxArray* payloadLength = mxCreateDoubleScalar(234);
    mxArray* payload = mlfGenerateBitStream(sourceType, payloadLength, NULL);
    mxArray* dataBits = payload ? mlfOneX_RevTrfPhysicalLayerPacket(payload) : NULL;

    int rc = 0;
    mxArray* events = NULL;
    mxArray* frame = NULL;
    if (!dataBits) {
        rc = fail("preparing the Data bits");
    } else {
        frame = mlfOneX_RevTrfChn(&events, zero, zero,                        /* RRI */
                                  zero, zero, ackSlots, ackSlots,             /* ACK */
                                  zero, zero, drcSlots, drcValues, drcCovers, /* DRC */
                                  zero, zero, dataBits, one, one,             /* Data */
                                  mask, mask, oversampling, filterType, zero);
        if (!frame) rc = fail("mlfOneX_RevTrfChn");
    }

    if (frame) {
        printf("frame: %zu x %zu %s, markers %zu x %zu\n", (size_t)mxGetM(frame),
               (size_t)mxGetN(frame), mxIsComplex(frame) ? "complex" : "real",
               (size_t)mxGetM(events), (size_t)mxGetN(events));
        mxArray* file = mxCreateString(path);
        mxArray* success = mlfsaveHalberdWaveform(frame, file, NULL);
        if (!success)
            rc = fail("mlfsaveHalberdWaveform");
        else if (mxGetScalar(success) != 1) {
            fprintf(stderr, "host: could not write %s\n", path);
            rc = 1;
        } else {
            printf("written to %s\n", path);
        }
        mxDestroyArray(success);
        mxDestroyArray(file);
    }

    mxDestroyArray(frame);
    mxDestroyArray(events);
    mxDestroyArray(dataBits);
    mxDestroyArray(payload);
    mxDestroyArray(payloadLength);
    mxDestroyArray(sourceType);
    mxDestroyArray(drcCovers);
    mxDestroyArray(drcValues);
    mxDestroyArray(drcSlots);
    mxDestroyArray(ackSlots);
    mxDestroyArray(filterType);
    mxDestroyArray(oversampling);
    mxDestroyArray(mask);
    mxDestroyArray(one);
    mxDestroyArray(zero);
    OneX_Rev_b_libTerminate();
    return rc;
}
