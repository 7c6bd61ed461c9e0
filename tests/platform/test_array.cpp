#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "platform/Array.h"
#include "platform/Error.h"

using onex::Error;
using onex::platform::Array;
using onex::platform::ArrayClass;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

TEST(Array, SizesOfTheBasicConstructors) {
    Array empty;
    EXPECT_EQ(empty.dims(), (Array::Dims{0, 0}));
    EXPECT_TRUE(empty.isEmpty() && empty.isDouble() && !empty.isComplex());

    Array s(2.5);
    EXPECT_TRUE(s.isScalar());
    EXPECT_EQ(s.scalar(), 2.5);

    Array r = Array::row({1, 2, 3});
    EXPECT_EQ(r.dims(), (Array::Dims{1, 3}));
    EXPECT_TRUE(r.isRow() && r.isVector() && !r.isColumn());

    // An empty row stays 1x0, unlike [] (0x0): files keep the difference.
    Array emptyRow = Array::row(std::vector<double>{});
    EXPECT_EQ(emptyRow.dims(), (Array::Dims{1, 0}));
    EXPECT_FALSE(emptyRow == empty);

    // Column-major: element (r, c) of an m x n matrix is at c*m + r.
    Array m = Array::matrix(2, 3, std::vector<double>{1, 2, 3, 4, 5, 6});
    EXPECT_EQ(m.rows(), 2u);
    EXPECT_EQ(m.cols(), 3u);
    EXPECT_EQ(m.realAt(1 * 2 + 0), 3.0);  // row 1, column 2 (1-based)
    EXPECT_THROW(Array::matrix(2, 2, std::vector<double>{1, 2, 3}), Error);

    // Trailing singleton dimensions beyond the second are dropped; a zero
    // anywhere makes the array empty.
    EXPECT_EQ(Array::zeros({2, 3, 1, 1}).dims(), (Array::Dims{2, 3}));
    EXPECT_EQ(Array::zeros({2, 3, 4}).numel(), 24u);
    EXPECT_EQ(Array::zeros({5, 0, 7}).numel(), 0u);
    EXPECT_EQ(Array::zeros({4}).dims(), (Array::Dims{4, 1}));

    Array r3 = Array::zeros({2, 3, 4});
    r3.reshape({6, 4});
    EXPECT_EQ(r3.dims(), (Array::Dims{6, 4}));
    EXPECT_THROW(r3.reshape({5, 5}), Error);
}

TEST(Array, ElementCountOverflowIsAnErrorNotAnAllocation) {
    const std::size_t big = std::size_t{1} << 40;
    EXPECT_THROW(Array::zeros({big, big}), Error);
    EXPECT_THROW(Array::zeros({big, big}, ArrayClass::Cell), Error);
    EXPECT_THROW(Array::structArray({big, big}, {"a"}), Error);
    // The product fits in size_t but the byte count of doubles does not.
    EXPECT_THROW(Array::zeros({std::numeric_limits<std::size_t>::max() / 4, 1}), Error);
    // A zero dimension wins over an overflowing product of the others.
    EXPECT_EQ(Array::zeros({big, big, 0}).numel(), 0u);
}

TEST(Array, ComplexValuesKeepSeparateParts) {
    Array z = Array::complexRow(std::vector<std::complex<double>>{{1, -2}, {3, 4}});
    EXPECT_TRUE(z.isComplex());
    ASSERT_EQ(z.real().size(), 2u);
    EXPECT_EQ(z.real()[1], 3.0);
    EXPECT_EQ(z.imag()[0], -2.0);
    EXPECT_EQ(z.toComplexVector()[1], std::complex<double>(3, 4));
    // Dropping an imaginary part silently is refused.
    EXPECT_THROW(z.toDoubleVector(), Error);
    EXPECT_THROW(z.scalar(), Error);
    EXPECT_EQ(Array(std::complex<double>(0, 1)).complexScalar(), std::complex<double>(0, 1));

    // Real values read as complex have a zero imaginary part.
    EXPECT_EQ(Array::row({5}).toComplexVector()[0], std::complex<double>(5, 0));
    EXPECT_TRUE(Array::row({5}).imag().empty());

    Array r = Array::row({1, 2});
    r.setComplex(true);
    r.imag()[1] = 7;
    EXPECT_EQ(r.imagAt(1), 7.0);
    EXPECT_THROW(Array::zeros({1, 1}, ArrayClass::Char, true), Error);
}

TEST(Array, TextConvertsBetweenUtf8AndCodeUnits) {
    // '' is 0x0 char, as the platform writes empty text.
    Array e = Array::string("");
    EXPECT_TRUE(e.isChar());
    EXPECT_EQ(e.dims(), (Array::Dims{0, 0}));
    EXPECT_EQ(e.toString(), "");

    // e-acute is one code unit 0xE9; the euro sign 0x20AC; U+1F600 needs
    // the surrogate pair D83D DE00.
    Array t = Array::string("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    ASSERT_EQ(t.dims(), (Array::Dims{1, 5}));
    const std::vector<char16_t> expected{u'a', 0xE9, 0x20AC, 0xD83D, 0xDE00};
    EXPECT_EQ(std::vector<char16_t>(t.chars().begin(), t.chars().end()), expected);
    EXPECT_EQ(t.toString(), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(t.realAt(1), 233.0);  // text reads as numbers like the platform's double('é')

    // Malformed UTF-8 (a lone continuation byte, a truncated sequence, an
    // overlong encoding) becomes U+FFFD instead of failing or being dropped.
    Array bad = Array::string("x\x80y\xC3");
    EXPECT_EQ(std::vector<char16_t>(bad.chars().begin(), bad.chars().end()),
              (std::vector<char16_t>{u'x', 0xFFFD, u'y', 0xFFFD}));
    EXPECT_EQ(Array::string("\xC0\xAF").chars()[0], 0xFFFD);
    // An unpaired surrogate in a file comes out as U+FFFD too.
    Array lone = Array::charFromCodeUnits({1, 2}, {0xD800, u'z'});
    EXPECT_EQ(lone.toString(), "\xEF\xBF\xBDz");

    // Rows padded with blanks, stored column by column.
    Array m = Array::charMatrix({"ab", "c"});
    ASSERT_EQ(m.dims(), (Array::Dims{2, 2}));
    EXPECT_EQ(std::vector<char16_t>(m.chars().begin(), m.chars().end()),
              (std::vector<char16_t>{u'a', u'c', u'b', u' '}));
    EXPECT_EQ(m.toStrings(), (std::vector<std::string>{"ab", "c "}));
    EXPECT_THROW(m.toString(), Error);
    EXPECT_THROW(Array::row({1}).toString(), Error);
}

TEST(Array, StructFieldsKeepTheirOrder) {
    Array s = Array::structure({{"zeta", Array(1.0)}, {"alpha", Array::string("x")}});
    EXPECT_EQ(s.dims(), (Array::Dims{1, 1}));
    EXPECT_EQ(s.fieldNames(), (std::vector<std::string>{"zeta", "alpha"}));
    EXPECT_EQ(s.field("alpha").toString(), "x");

    s.setField("mid", Array(2.0));   // new fields go to the end
    s.setField("zeta", Array(3.0));  // existing ones keep their place
    EXPECT_EQ(s.fieldNames(), (std::vector<std::string>{"zeta", "alpha", "mid"}));
    EXPECT_EQ(s.field("zeta").scalar(), 3.0);
    s.removeField("alpha");
    EXPECT_EQ(s.fieldNames(), (std::vector<std::string>{"zeta", "mid"}));
    EXPECT_FALSE(s.hasField("alpha"));

    try {
        (void)s.field("nope");
        FAIL() << "missing field accepted";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Reference to non-existent field 'nope'.");
    }
    EXPECT_THROW(s.removeField("nope"), Error);
    EXPECT_THROW(s.setField("1abc", Array()), Error);
    EXPECT_THROW(s.setField("a b", Array()), Error);
    EXPECT_THROW(s.setField(std::string(64, 'a'), Array()), Error);
    EXPECT_NO_THROW(s.setField(std::string(63, 'a'), Array()));

    // Nested values are edited in place through the reference.
    Array outer = Array::structure({{"inner", Array::structure({{"v", Array(1.0)}})}});
    outer.field("inner").setField("v", Array(9.0));
    EXPECT_EQ(outer.field("inner").field("v").scalar(), 9.0);

    // Struct arrays: every element has every field, new ones start as [].
    Array arr = Array::structArray({1, 2}, {"a"});
    arr.setField("a", Array(5.0), 1);
    arr.setField("b", Array(6.0), 0);
    EXPECT_TRUE(arr.field("a", 0).isEmpty());
    EXPECT_TRUE(arr.field("b", 1).isEmpty());
    EXPECT_EQ(arr.structElement(1).field("a").scalar(), 5.0);
    EXPECT_THROW(arr.field("a", 2), Error);
    EXPECT_THROW(Array::structArray({1, 1}, {"a", "a"}), Error);

    EXPECT_THROW(Array(1.0).setField("a", Array()), Error);
    EXPECT_FALSE(Array(1.0).hasField("a"));
    EXPECT_THROW(Array(1.0).fieldNames(), Error);
}

TEST(Array, CellsHoldAnyValue) {
    Array c = Array::cellRow({Array(1.0), Array::string("two"), Array::cellRow({})});
    EXPECT_TRUE(c.isCell());
    EXPECT_EQ(c.dims(), (Array::Dims{1, 3}));
    EXPECT_EQ(c.cell(1).toString(), "two");
    EXPECT_EQ(c.cell(2).dims(), (Array::Dims{1, 0}));
    c.setCell(0, Array::row({4, 5}));
    EXPECT_EQ(c.cell(0).numel(), 2u);
    EXPECT_THROW(c.cell(3), Error);
    EXPECT_THROW(c.scalar(), Error);
    EXPECT_THROW(Array(1.0).cell(0), Error);
    EXPECT_TRUE(Array::zeros({2, 2}, ArrayClass::Cell).cell(3).isEmpty());
}

TEST(Array, IntegerClassesConvertLikeThePlatform) {
    Array i8 = Array::zeros({1, 5}, ArrayClass::Int8);
    i8.setRealAt(0, 200);   // saturates
    i8.setRealAt(1, -200);  // saturates
    i8.setRealAt(2, -2.5);  // halves away from zero
    i8.setRealAt(3, kNaN);  // NaN becomes 0
    i8.setRealAt(4, 1.49);
    EXPECT_EQ(i8.toDoubleVector(), (std::vector<double>{127, -128, -3, 0, 1}));

    Array u64 = Array::zeros({1, 2}, ArrayClass::UInt64);
    u64.setRealAt(0, 1e30);
    u64.setRealAt(1, -1);
    EXPECT_EQ(u64.typedReal<std::uint64_t>()[0], std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(u64.typedReal<std::uint64_t>()[1], 0u);

    // Values beyond 2^53 are kept exactly in their class.
    const std::int64_t big = (std::int64_t{1} << 62) + 1;
    Array i64 = Array::numeric<std::int64_t>({1, 1}, {big});
    EXPECT_EQ(i64.typedReal<std::int64_t>()[0], big);
    EXPECT_THROW(i64.typedReal<std::int32_t>(), Error);
    EXPECT_STREQ(i64.className(), "int64");

    Array lg = Array::zeros({1, 2}, ArrayClass::Logical);
    lg.setRealAt(0, 0.25);
    EXPECT_EQ(lg.logicals()[0], 1);
    EXPECT_THROW(lg.setRealAt(1, kNaN), Error);
    EXPECT_TRUE(Array::logical(true).toBool());
    EXPECT_THROW(Array(kNaN).toBool(), Error);
}

TEST(Array, WrongClassAccessGivesClearErrors) {
    try {
        (void)Array::structure().scalar();
        FAIL();
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("struct"), std::string::npos) << e.what();
    }
    try {
        (void)Array::row({1, 2}).scalar();
        FAIL();
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("1x2"), std::string::npos) << e.what();
    }
    EXPECT_THROW(Array::string("ab").real(), Error);
    EXPECT_THROW(Array(1.0).chars(), Error);
    EXPECT_THROW(Array::row({1, 2}).realAt(2), Error);
    EXPECT_THROW(Array::cellRow({}).toDoubleVector(), Error);
}

TEST(Array, EqualityIsStructuralAndClassStrict) {
    Array a = Array::row({1, kNaN, kInf});
    Array b = a;
    EXPECT_TRUE(a == b);  // NaN equals NaN: a copy always equals its source
    b.real()[0] = 2;
    EXPECT_FALSE(a == b);
    EXPECT_EQ(a.realAt(0), 1.0);  // the copy was deep

    EXPECT_FALSE(Array(1.0) == Array::numeric<float>({1, 1}, {1.0f}));
    EXPECT_FALSE(Array(1.0) == Array(std::complex<double>(1, 0)));
    EXPECT_FALSE(Array::zeros({0, 0}) == Array::zeros({0, 0}, ArrayClass::Char));
    EXPECT_FALSE(Array::zeros({1, 0}) == Array::zeros({0, 1}));
    EXPECT_TRUE(Array(-0.0) == Array(0.0));

    Array s1 = Array::structure({{"a", Array(1.0)}, {"b", Array(2.0)}});
    Array s2 = Array::structure({{"b", Array(2.0)}, {"a", Array(1.0)}});
    EXPECT_FALSE(s1 == s2);  // field order is part of the value
    Array s3 = s1;
    s3.field("b") = Array::string("x");
    EXPECT_FALSE(s1 == s3);
    EXPECT_TRUE(Array::cellRow({s1}) == Array::cellRow({s1}));

    Array moved = std::move(s3);
    EXPECT_EQ(moved.field("b").toString(), "x");
}

}  // namespace
