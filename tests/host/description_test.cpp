// Taking a class description apart: blocks, declarations, overloads.
#include "host/description.h"

#include <gtest/gtest.h>

namespace host {
namespace {

TEST(Description, ReadsClassesMethodsAndGlobals) {
  const Description d = parseDescription(
      "class a_cls from nonvisualobject\n"
      "function string  f(string as_x)\n"
      "subroutine s (ref string as_y, readonly string as_z)\n"
      "function integer f()\n"
      "function integer g(ref string asa_list[],Decimal adc)\n"
      "end class\n"
      "globalfunctions\n"
      "function string  gf_x ( boolean ab_b )\n"
      "end globalfunctions\n");
  ASSERT_EQ(d.classes.size(), 1u);
  const ClassBlock& block = d.classes[0];
  EXPECT_EQ(block.name, "a_cls");
  EXPECT_EQ(block.ancestor, "nonvisualobject");
  ASSERT_EQ(block.methods.size(), 4u);
  EXPECT_EQ(block.methods[1].returnType, "");
  EXPECT_EQ(block.methods[1].name, "s");
  ASSERT_EQ(block.methods[1].parameters.size(), 2u);
  EXPECT_TRUE(block.methods[1].parameters[0].byReference);
  EXPECT_TRUE(block.methods[1].parameters[1].readOnly);
  EXPECT_EQ(block.methods[3].parameters[0].name, "asa_list");
  EXPECT_TRUE(block.methods[3].parameters[0].isArray);
  EXPECT_EQ(block.methods[3].parameters[1].type, "Decimal");
  ASSERT_EQ(d.globals.size(), 1u);
  EXPECT_EQ(d.globals[0].name, "gf_x");
  EXPECT_EQ(d.globals[0].parameters[0].type, "boolean");

  EXPECT_EQ(d.findClass("A_CLS"), &block);
  EXPECT_EQ(d.findGlobal("GF_X"), &d.globals[0]);
  // Overloads are told apart by their number of arguments.
  EXPECT_EQ(findMethodId(block, "F", 1), std::optional<pbmethodID>(0));
  EXPECT_EQ(findMethodId(block, "f", 0), std::optional<pbmethodID>(2));
  EXPECT_EQ(findMethodId(block, "f", 2), std::nullopt);
}

TEST(Description, RejectsMalformedText) {
  const char* cases[] = {
      "class a from nonvisualobject\nfunction string f(string)\nend class\n",
      "class a from nonvisualobject\nfunction f(string a)\nend class\n",
      "class a from nonvisualobject\nfunction string f(string a\nend class\n",
      "class a from nonvisualobject\nend class",
      "class a from nonvisualobject\nfunction string f(string a)\n",
      "globalfunctions\nend globalfunctions\nclass a from nonvisualobject\n",
      "function string f(string a)\n",
  };
  for (const char* text : cases) {
    EXPECT_THROW(parseDescription(text), DescriptionError) << text;
  }
}

}  // namespace
}  // namespace host
