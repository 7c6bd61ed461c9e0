// The array API: creation, access, text, and the ownership rules of
// structures and cells. Run under LeakSanitizer, every test also checks that
// the documented frees are exactly enough.

#include <cstring>

#include "lib/LibTest.h"

using namespace libtest;

namespace {

TEST(MxArrays, NumericArraysKeepSeparateRealAndImaginaryColumnMajorParts) {
    Owned a(mxCreateDoubleMatrix(2, 3, mxCOMPLEX));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(mxGetM(a.get()), 2u);
    EXPECT_EQ(mxGetN(a.get()), 3u);
    EXPECT_EQ(mxGetNumberOfElements(a.get()), 6u);
    EXPECT_TRUE(mxIsDouble(a.get()));
    EXPECT_TRUE(mxIsComplex(a.get()));
    EXPECT_TRUE(mxIsNumeric(a.get()));
    EXPECT_FALSE(mxIsEmpty(a.get()));
    double* re = mxGetPr(a.get());
    double* im = mxGetPi(a.get());
    ASSERT_NE(re, nullptr);
    ASSERT_NE(im, nullptr);
    EXPECT_NE(re, im);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(re[i], 0);
    re[1] = 7;  // row 2, column 1
    im[1] = -1;
    EXPECT_EQ(mxGetScalar(a.get()), 0);
    re[0] = 2.5;
    EXPECT_EQ(mxGetScalar(a.get()), 2.5);

    Owned r(mxCreateDoubleMatrix(0, 4, mxREAL));
    EXPECT_TRUE(mxIsEmpty(r.get()));
    EXPECT_EQ(mxGetPi(r.get()), nullptr);
    EXPECT_FALSE(mxIsComplex(r.get()));
    EXPECT_EQ(mxGetScalar(r.get()), 0);

    Owned s = num(-3);
    EXPECT_EQ(mxGetScalar(s.get()), -3);
    EXPECT_STREQ(mxGetClassName(s.get()), "double");

    // An element count that cannot be allocated gives NULL, not a crash.
    EXPECT_EQ(mxCreateDoubleMatrix(SIZE_MAX / 2, 4, mxREAL), nullptr);
}

TEST(MxArrays, TextsRoundTripAsUtf8) {
    Owned s =
        str("Gr\xC3\xBC\xC3\x9F"
            "e \xCE\xBCs");  // "Grüße µs"
    ASSERT_TRUE(mxIsChar(s.get()));
    EXPECT_EQ(mxGetM(s.get()), 1u);
    EXPECT_EQ(mxGetN(s.get()), 8u);  // characters, not bytes
    EXPECT_EQ(text(s.get()),
              "Gr\xC3\xBC\xC3\x9F"
              "e \xCE\xBCs");
    EXPECT_EQ(mxGetScalar(s.get()), 'G');

    Owned e = str("");
    EXPECT_TRUE(mxIsChar(e.get()));
    EXPECT_TRUE(mxIsEmpty(e.get()));
    EXPECT_EQ(mxGetM(e.get()), 0u);
    EXPECT_EQ(text(e.get()), "");

    char buf[4];
    Owned abc = str("abcdef");
    EXPECT_EQ(mxGetString(abc.get(), buf, sizeof buf), 1);  // cut
    EXPECT_STREQ(buf, "abc");
    Owned ab = str("ab");
    EXPECT_EQ(mxGetString(ab.get(), buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "ab");

    Owned n = num(1);
    EXPECT_EQ(mxArrayToString(n.get()), nullptr);
    EXPECT_EQ(mxGetString(n.get(), buf, sizeof buf), 1);
    EXPECT_EQ(mxCreateString(nullptr), nullptr);
}

TEST(MxArrays, StructureFieldsAreNamedAndValidated) {
    const char* names[] = {"alpha", "beta"};
    Owned s(mxCreateStructMatrix(1, 2, 2, names));
    ASSERT_TRUE(mxIsStruct(s.get()));
    EXPECT_EQ(mxGetNumberOfElements(s.get()), 2u);
    EXPECT_EQ(mxGetNumberOfFields(s.get()), 2);
    const char* beta = mxGetFieldNameByNumber(s.get(), 1);
    EXPECT_STREQ(beta, "beta");
    EXPECT_EQ(mxGetFieldNameByNumber(s.get(), 2), nullptr);

    // Fields never set read as [], not NULL; a missing field or element is NULL.
    const mxArray* unset = mxGetField(s.get(), 1, "alpha");
    ASSERT_NE(unset, nullptr);
    EXPECT_TRUE(mxIsEmpty(unset));
    EXPECT_EQ(mxGetField(s.get(), 2, "alpha"), nullptr);
    EXPECT_EQ(mxGetField(s.get(), 0, "gamma"), nullptr);

    // Adding fields keeps the names handed out before valid.
    for (int k = 0; k < 40; ++k)
        EXPECT_EQ(mxAddField(s.get(), std::string(1, 'f').append(std::to_string(k)).c_str()),
                  k + 2);
    EXPECT_STREQ(beta, "beta");
    EXPECT_EQ(mxAddField(s.get(), "beta"), 1);
    EXPECT_EQ(mxAddField(s.get(), "1bad"), -1);

    const char* bad[] = {"ok", "not ok"};
    EXPECT_EQ(mxCreateStructMatrix(1, 1, 2, bad), nullptr);
    const char* twice[] = {"x", "x"};
    EXPECT_EQ(mxCreateStructMatrix(1, 1, 2, twice), nullptr);
    EXPECT_EQ(mxCreateStructMatrix(1, 1, 1, nullptr), nullptr);
}

TEST(MxArrays, SetFieldTakesOwnershipAndTheValueStaysUsableAsTheElement) {
    Owned s(mxCreateStructMatrix(1, 1, 0, nullptr));
    mxArray* v = mxCreateDoubleMatrix(1, 3, mxREAL);
    double* data = mxGetPr(v);
    mxSetField(s.get(), 0, "samples", v);  // also adds the field
    // Writing through the old pointers changes the structure's field.
    data[2] = 9;
    mxGetPr(v)[0] = 4;
    const mxArray* f = mxGetField(s.get(), 0, "samples");
    EXPECT_EQ(f, v);
    EXPECT_EQ(values(f), (std::vector<double>{4, 0, 9}));
    // Only the structure is destroyed (LeakSanitizer checks the rest).
}

TEST(MxArrays, ReplacingAFieldFreesThePreviousValue) {
    Owned s(mxCreateStructMatrix(1, 1, 0, nullptr));
    for (int k = 0; k < 5; ++k)
        mxSetField(s.get(), 0, "x", mxCreateDoubleMatrix(100, 100, mxCOMPLEX));
    mxSetField(s.get(), 0, "x", mxCreateDoubleScalar(1));
    EXPECT_EQ(mxGetScalar(mxGetField(s.get(), 0, "x")), 1);
    // NULL empties the field.
    mxSetField(s.get(), 0, "x", nullptr);
    EXPECT_TRUE(mxIsEmpty(mxGetField(s.get(), 0, "x")));
}

TEST(MxArrays, DestroyThenSetOnABorrowedFieldNeverFreesTwice) {
    // The classic idiom: free the old value through the borrowed pointer,
    // then set the new one.
    Owned s(mxCreateStructMatrix(1, 1, 0, nullptr));
    mxSetField(s.get(), 0, "name", mxCreateString("old"));
    mxArray* old = mxGetField(s.get(), 0, "name");
    mxDestroyArray(old);
    EXPECT_TRUE(mxIsEmpty(mxGetField(s.get(), 0, "name")));
    mxSetField(s.get(), 0, "name", mxCreateString("new"));
    EXPECT_EQ(text(mxGetField(s.get(), 0, "name")), "new");
}

TEST(MxArrays, AnArrayCannotBecomePartOfItself) {
    Owned s(mxCreateStructMatrix(1, 1, 0, nullptr));
    mxSetField(s.get(), 0, "inner", mxCreateStructMatrix(1, 1, 0, nullptr));
    mxArray* inner = mxGetField(s.get(), 0, "inner");
    mxSetField(s.get(), 0, "self", s.get());
    mxSetField(inner, 0, "loop", s.get());
    EXPECT_EQ(mxGetField(s.get(), 0, "self"), nullptr);  // refused: no field added
    EXPECT_EQ(mxGetField(inner, 0, "loop"), nullptr);
    Owned c(mxCreateCellMatrix(1, 1));
    mxSetCell(c.get(), 0, c.get());
    EXPECT_TRUE(mxIsEmpty(mxGetCell(c.get(), 0)));
    // s is still the caller's and is destroyed once by Owned.
}

TEST(MxArrays, ABorrowedValueSetElsewhereIsCopied) {
    Owned a(mxCreateStructMatrix(1, 1, 0, nullptr));
    Owned b(mxCreateStructMatrix(1, 1, 0, nullptr));
    mxSetField(a.get(), 0, "v", mxCreateDoubleScalar(1));
    mxArray* av = mxGetField(a.get(), 0, "v");
    mxSetField(b.get(), 0, "v", av);
    mxGetPr(av)[0] = 2;
    EXPECT_EQ(mxGetScalar(mxGetField(b.get(), 0, "v")), 1);
    EXPECT_EQ(mxGetScalar(mxGetField(a.get(), 0, "v")), 2);

    // A field replaced by a part of itself.
    mxArray* inner = mxCreateStructMatrix(1, 1, 0, nullptr);
    mxSetField(inner, 0, "leaf", mxCreateString("kept"));
    mxSetField(a.get(), 0, "node", inner);
    mxSetField(a.get(), 0, "node", mxGetField(inner, 0, "leaf"));
    EXPECT_EQ(text(mxGetField(a.get(), 0, "node")), "kept");

    // Setting a field to itself changes nothing.
    mxArray* same = mxGetField(a.get(), 0, "node");
    mxSetField(a.get(), 0, "node", same);
    EXPECT_EQ(text(mxGetField(a.get(), 0, "node")), "kept");
}

TEST(MxArrays, CellsFollowTheSameRules) {
    Owned c(mxCreateCellMatrix(2, 2));
    ASSERT_TRUE(mxIsCell(c.get()));
    EXPECT_EQ(mxGetNumberOfElements(c.get()), 4u);
    EXPECT_TRUE(mxIsEmpty(mxGetCell(c.get(), 3)));
    EXPECT_EQ(mxGetCell(c.get(), 4), nullptr);
    mxArray* t = mxCreateString("cell");
    mxSetCell(c.get(), 1, t);
    EXPECT_EQ(mxGetCell(c.get(), 1), t);
    mxSetCell(c.get(), 1, mxCreateDoubleScalar(5));  // frees "cell"
    EXPECT_EQ(mxGetScalar(mxGetCell(c.get(), 1)), 5);
    mxDestroyArray(mxGetCell(c.get(), 1));
    EXPECT_TRUE(mxIsEmpty(mxGetCell(c.get(), 1)));
    // Out of range: refused, and the value stays the caller's.
    Owned extra = num(1);
    mxSetCell(c.get(), 7, extra.get());
    EXPECT_EQ(mxGetNumberOfElements(c.get()), 4u);
}

TEST(MxArrays, DuplicatesAreDeepAndIndependent) {
    Owned s(mxCreateStructMatrix(1, 1, 0, nullptr));
    mxArray* c = mxCreateCellMatrix(1, 1);
    mxSetCell(c, 0, mxCreateDoubleScalar(3));
    mxSetField(s.get(), 0, "c", c);
    Owned d(mxDuplicateArray(s.get()));
    mxGetPr(mxGetCell(mxGetField(s.get(), 0, "c"), 0))[0] = 4;
    EXPECT_EQ(mxGetScalar(mxGetCell(mxGetField(d.get(), 0, "c"), 0)), 3);
    // A borrowed element can be duplicated into an array of its own.
    Owned part(mxDuplicateArray(mxGetField(s.get(), 0, "c")));
    s.reset();
    EXPECT_EQ(mxGetScalar(mxGetCell(part.get(), 0)), 4);
}

TEST(MxArrays, NullIsAcceptedEverywhere) {
    EXPECT_EQ(mxGetM(nullptr), 0u);
    EXPECT_EQ(mxGetN(nullptr), 0u);
    EXPECT_EQ(mxGetNumberOfElements(nullptr), 0u);
    EXPECT_EQ(mxGetPr(nullptr), nullptr);
    EXPECT_EQ(mxGetPi(nullptr), nullptr);
    EXPECT_EQ(mxGetData(nullptr), nullptr);
    EXPECT_EQ(mxGetScalar(nullptr), 0);
    EXPECT_FALSE(mxIsDouble(nullptr));
    EXPECT_FALSE(mxIsComplex(nullptr));
    EXPECT_FALSE(mxIsChar(nullptr));
    EXPECT_FALSE(mxIsStruct(nullptr));
    EXPECT_FALSE(mxIsCell(nullptr));
    EXPECT_FALSE(mxIsEmpty(nullptr));
    EXPECT_EQ(mxArrayToString(nullptr), nullptr);
    EXPECT_EQ(mxGetField(nullptr, 0, "x"), nullptr);
    EXPECT_EQ(mxGetCell(nullptr, 0), nullptr);
    EXPECT_EQ(mxGetNumberOfFields(nullptr), 0);
    EXPECT_EQ(mxDuplicateArray(nullptr), nullptr);
    mxSetField(nullptr, 0, "x", nullptr);
    mxSetCell(nullptr, 0, nullptr);
    mxDestroyArray(nullptr);
    mxFree(nullptr);
    // Wrong kinds answer as "not applicable".
    Owned n = num(1);
    EXPECT_EQ(mxGetField(n.get(), 0, "x"), nullptr);
    EXPECT_EQ(mxGetCell(n.get(), 0), nullptr);
    Owned s = str("abc");
    EXPECT_EQ(mxGetPr(s.get()), nullptr);
    EXPECT_NE(mxGetData(s.get()), nullptr);
}

}  // namespace
