// Complex data: plot forms and their names, unwrapping, the group-delay
// derivative, derived names inside expressions, complex evaluation and the
// complex text file reader.
#include "viewer/calc/complex_data.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <complex>

#include "common/file_io.h"
#include "viewer/calc/calc_fixture.h"
#include "viewer/calc/expression.h"

namespace zephyrim {
namespace {

std::vector<double> form(std::vector<std::complex<double>> z, std::vector<double> x, int f) {
  std::vector<double> re, im;
  for (auto c : z) re.push_back(c.real()), im.push_back(c.imag());
  if (x.empty())
    for (size_t i = 0; i < z.size(); ++i) x.push_back(static_cast<double>(i));
  return complex_form_values(re, im, x, f);
}

std::complex<double> degrees(double m, double d) {
  return std::polar(m, d * M_PI / 180);
}

TEST(ComplexNames, BothWays) {
  EXPECT_EQ(complex_form_name("V(OUT)", FORM_DB), "VDB(OUT)");
  EXPECT_EQ(complex_form_name("V(OUT)", FORM_GROUP_DELAY), "VG(OUT)");
  EXPECT_EQ(complex_form_name("V(OUT)", FORM_ANGLE), "VA(OUT)");
  EXPECT_EQ(complex_form_name("i(R1)", FORM_DBMV), "iDBMV(R1)");
  EXPECT_EQ(complex_form_name("N5", FORM_ANGLE), "A[N5]");
  EXPECT_EQ(complex_form_name("X(1)", FORM_DB), "DB[X(1)]");  // X is not a derivable prefix
  struct Case {
    const char* name;
    int form;
    const char* base;
  };
  for (const Case& c :
       {Case{"VDB(OUT)", 0, "V(OUT)"}, Case{"VP(OUT)", 1, "V(OUT)"}, Case{"V(OUT)", 2, "V(OUT)"},
        Case{"VT(OUT)", 6, "V(OUT)"}, Case{"vgv(a,b)", 7, "v(a,b)"}, Case{"IDBM(R1)", 8, "I(R1)"},
        Case{"DB[N5]", 0, "N5"}, Case{"gv[x]", 7, "x"}}) {
    const auto p = complex_parse_name(c.name);
    ASSERT_TRUE(p) << c.name;
    EXPECT_EQ(p->form, c.form) << c.name;
    EXPECT_EQ(p->base, c.base) << c.name;
  }
  for (const char* n : {"VX(OUT)", "N5", "Q[N5]", "(OUT)", "X(1)", "DB[", ""})
    EXPECT_FALSE(complex_parse_name(n)) << n;
  EXPECT_EQ(complex_form_from_name("DB"), 0);
  EXPECT_EQ(complex_form_from_name("gd"), 6);
  EXPECT_EQ(complex_form_from_name("dbmv"), 9);
  EXPECT_EQ(complex_form_from_name("7"), 7);
  EXPECT_EQ(complex_form_from_name("10"), -1);
  EXPECT_EQ(complex_form_from_name("phase shift"), -1);
}

TEST(ComplexForms, ValuesAtTheEdges) {
  EXPECT_EQ(form({0}, {}, FORM_DB)[0], -2000);
  EXPECT_EQ(form({0}, {}, FORM_ANGLE)[0], 0);
  EXPECT_EQ(form({{1e-38, 0}}, {}, FORM_MAGNITUDE)[0], 0);
  EXPECT_DOUBLE_EQ(form({{0, 2}}, {}, FORM_ANGLE)[0], 90);
  EXPECT_DOUBLE_EQ(form({{3, 4}}, {}, FORM_DB)[0], 20 * std::log10(5.0));
  EXPECT_DOUBLE_EQ(form({1}, {}, FORM_DBM)[0], 30);
  EXPECT_DOUBLE_EQ(form({10}, {}, FORM_DBMV)[0], 10 * std::log10(1.0 / 0.001));
  EXPECT_EQ(form({{3, 4}}, {}, FORM_REAL)[0], 3);
  EXPECT_EQ(form({{3, 4}}, {}, FORM_IMAGINARY)[0], 4);
}

TEST(ComplexForms, PhaseUnwrapsBothWays) {
  const auto up =
      form({degrees(1, 170), degrees(1, -170), degrees(1, -150), degrees(1, 100)}, {}, FORM_PHASE);
  EXPECT_NEAR(up[0], 170, 1e-12);
  EXPECT_NEAR(up[1], 190, 1e-12);
  EXPECT_NEAR(up[2], 210, 1e-12);
  EXPECT_NEAR(up[3], 100, 1e-12);  // 100 is within 180 of 210
  const auto down = form({degrees(1, -170), degrees(1, 170), degrees(1, 10)}, {}, FORM_PHASE);
  EXPECT_NEAR(down[1], -190, 1e-12);
  EXPECT_NEAR(down[2], -350, 1e-12);
}

TEST(ComplexForms, GroupDelayDerivativeAtTheEnds) {
  // Phase -36, -72, -144 degrees at 1, 2, 4 Hz: -0.1, -0.1 and -0.1 turns per hertz on each side.
  const auto gd = form({degrees(1, -36), degrees(1, -72), degrees(1, -144)}, {1, 2, 4}, FORM_GROUP_DELAY);
  EXPECT_NEAR(gd[0], 0.1, 1e-15);
  EXPECT_NEAR(gd[1], (0.1 + 0.1) / 2, 1e-15);
  EXPECT_NEAR(gd[2], 0.1, 1e-15);
  const auto two = form({degrees(1, -36), degrees(1, -72)}, {1, 2}, FORM_GROUP_DELAY);
  EXPECT_NEAR(two[0], 0.1, 1e-15);
  EXPECT_EQ(two[1], 0);
  EXPECT_EQ(form({1}, {1}, FORM_GROUP_DELAY)[0], 0);
  // A step over equal frequencies is 1e29 and spreads to the means beside it.
  const auto step = group_derivative(std::vector<double>{0, 1, 2, 3}, std::vector<double>{0, 1, 1, 2});
  EXPECT_EQ(step, (std::vector<double>{1, 1e29, 1e29, 1}));
  EXPECT_EQ(group_derivative(std::vector<double>{5, 5}, std::vector<double>{1, 1})[0], 0);
  EXPECT_EQ(form({1, 1}, {1, 2}, FORM_GROUP_VELOCITY)[0], 1e29);
  EXPECT_NEAR(form({degrees(1, -36), degrees(1, -72)}, {1, 2}, FORM_GROUP_VELOCITY)[0], 10, 1e-12);
}

struct ComplexStore : ::testing::Test, CalcStore {
  const DataVector* freq = nullptr;
  const DataVector* out = nullptr;
  ExprSelection ac{.kind = ANALYSIS_AC};
  void SetUp() override {
    freq = add("FREQ", {1, 10}, nullptr, ANALYSIS_AC);
    out = add("V(OUT)", {3, 4, 0, -2}, freq, ANALYSIS_AC, DATA_CLASS_BINARY, 1);
    add("V(IN)", {1, 1}, freq, ANALYSIS_AC);
  }
};

TEST_F(ComplexStore, DerivedNamesInsideExpressions) {
  ExprResult r;
  ASSERT_EQ(expr_calculate(store, "VDB(OUT)*2", ac, r), 1) << notify.last();
  EXPECT_EQ(r.complex, 0);
  EXPECT_DOUBLE_EQ(r.re[0], 40 * std::log10(5.0));
  EXPECT_DOUBLE_EQ(r.re[1], 40 * std::log10(2.0));
  ASSERT_NE(store.find_vector("VDB(OUT)", 0, ANALYSIS_AC, -1, 0), nullptr);
  ASSERT_EQ(expr_calculate(store, "VP(OUT)", ac, r), 1);
  EXPECT_DOUBLE_EQ(r.re[1], -90 - 360 + 360);  // -90 is within 180 of atan2(4,3)
  ASSERT_EQ(expr_calculate(store, "DB[V(OUT)]", ac, r), 1) << notify.last();
  EXPECT_EQ(expr_calculate(store, "VQ(OUT)", ac, r), 0);
  EXPECT_EQ(expr_calculate(store, "VDB(OUT)", {.kind = ANALYSIS_TRAN}, r), 0);  // only with AC selected
}

TEST_F(ComplexStore, ComplexEvaluation) {
  ExprResult r;
  auto at = [&](const char* text, size_t i) {
    EXPECT_EQ(expr_calculate(store, text, ac, r), 1) << text << ": " << notify.last();
    EXPECT_EQ(r.complex, 1) << text;
    return r.re.size() > i ? std::complex<double>(r.re[i], r.im[i]) : std::complex<double>(NAN, NAN);
  };
  EXPECT_EQ(at("V(OUT)*V(OUT)", 0), std::complex<double>(-7, 24));
  EXPECT_EQ(at("V(OUT)/V(OUT)", 1), std::complex<double>(1, 0));
  EXPECT_EQ(at("1/(V(OUT)-V(OUT))", 0), std::complex<double>(HUGE_VAL, 0));
  EXPECT_EQ(at("-V(OUT)+V(IN)", 0), std::complex<double>(-2, -4));
  EXPECT_EQ(at("M(V(OUT))", 0), std::complex<double>(5, 0));
  EXPECT_EQ(at("R(V(OUT))+JCMPLX(IMG(V(OUT)))", 0), std::complex<double>(3, 4));
  EXPECT_DOUBLE_EQ(at("P(V(OUT))", 1).real(), -M_PI / 2);
  EXPECT_EQ(at("P(V(OUT)*0)", 1), std::complex<double>(0, 0));
  EXPECT_DOUBLE_EQ(at("DB(V(OUT))", 0).real(), 20 * std::log10(5.0));
  EXPECT_EQ(at("LOG(V(OUT)*0)", 0), std::complex<double>(100, 0));
  EXPECT_EQ(at("LOG10(V(OUT)-V(OUT)+V(IN)*100)", 0), std::complex<double>(2, 0));
  EXPECT_DOUBLE_EQ(at("LOG(V(OUT))", 1).imag(), -M_PI / 2);
  const auto root = at("SQRT(V(OUT)*V(OUT))", 0);
  EXPECT_NEAR(root.real(), 3, 1e-15);
  EXPECT_NEAR(root.imag(), 4, 1e-15);
  const auto e = at("EXP(JCMPLX(PI)+V(IN)-V(IN)+V(OUT)-V(OUT))", 0);
  EXPECT_NEAR(e.real(), -1, 1e-15);
  EXPECT_NEAR(e.imag(), 0, 1e-15);
  EXPECT_EQ(at("SQR(V(OUT))", 1), std::complex<double>(-4, 0));
  ASSERT_EQ(expr_calculate(store, "V(OUT)+", ac, r), 0);
  EXPECT_EQ(notify.texts().at(notify.texts().size() - 2),
            "Complex expression invalid state - stack=12 token=11 processing:\nV(OUT)+");
  DataVector* v = expr_evaluate(store, "Z=V(OUT)*2", ac);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->complex, 1);
  EXPECT_EQ(values(v), (std::vector<double>{6, 8, 0, -4}));
}

TEST_F(ComplexStore, DeriveRegistersTheRealForm) {
  DataVector* d = complex_derive(store, *out, "V(OUT)", FORM_MAGNITUDE, DATA_CLASS_DERIVED);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->name, "VM(OUT)");
  EXPECT_EQ(d->kind, ANALYSIS_AC);
  EXPECT_EQ(d->complex, 0);
  EXPECT_EQ(d->x, freq);
  EXPECT_EQ(d->quantity, quantity_code(ANALYSIS_AC, "VM(OUT)"));
  EXPECT_EQ(values(d), (std::vector<double>{5, 2}));
  EXPECT_EQ(complex_derive(store, *out, "V(OUT)", 10, 0), nullptr);
}

struct ComplexText : ComplexStore {
  std::string path = "/tmp/zephyrim_complex_text_" + std::to_string(getpid()) + ".txt";
  void TearDown() override { unlink(path.c_str()); }
  int read(const std::string& text) {
    store.clear_for_new_data();
    EXPECT_TRUE(write_file_atomic(path, text));
    return complex_read_text_file(store, path);
  }
  std::vector<double> pair(const char* name) {
    const DataVector* v = store.find_vector(name, 0, ANALYSIS_AC, -1, 1);
    return v ? values(v) : std::vector<double>{};
  }
};

TEST_F(ComplexText, MagnitudePhaseAndRealImaginaryPairs) {
  ASSERT_EQ(read("title\n\nFREQ VDB(OUT) VP(OUT) VR(IN) VI(IN)\n1k -6.0206 90 1 2\n2K,0,180\t3 4\n"), 2);
  const auto o = pair("V(OUT)");
  ASSERT_EQ(o.size(), 4u);
  EXPECT_NEAR(o[0], 0, 1e-12);
  EXPECT_NEAR(o[1], 0.5, 1e-5);
  EXPECT_NEAR(o[2], -1, 1e-12);
  EXPECT_EQ(pair("V(IN)"), (std::vector<double>{1, 2, 3, 4}));
  const DataVector* f = store.find_vector("FREQ", 0, ANALYSIS_AC, -1, 0);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(values(f), (std::vector<double>{1000, 2000}));
}

TEST_F(ComplexText, BlocksRepeatAndBadRowsEndThem) {
  ASSERT_EQ(read("t\n\nF X1 Y1\n1 2 0\n2 3 x\n\nF2 N(A) N(B)\n5 1 0\n"), 2);
  EXPECT_EQ(pair("X1"), (std::vector<double>{2, 0}));  // plain names are magnitude and phase
  EXPECT_EQ(pair("N(A)"), (std::vector<double>{1, 0}));
  EXPECT_EQ(read("no empty line\nF A B\n1 2 3\n"), 0);
  EXPECT_EQ(notify.last(), "No complex data found in text file:\n" + path);
  EXPECT_EQ(read("\nF A\n1 2\n"), 0);  // a header needs three names
  unlink(path.c_str());
  EXPECT_EQ(complex_read_text_file(store, path), 0);
  EXPECT_EQ(notify.last(), "Cannot open complex data text file:\n" + path);
}

}  // namespace
}  // namespace zephyrim
