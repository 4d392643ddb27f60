#include "framework/COrvaneCastMemo.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace
{
// A base whose subobject sits after another in the derived class, so the
// cast moves the pointer, and classes the cast must refuse.
struct Shape
{
    virtual ~Shape() = default;
    int m_iShape = 0;
};
struct Tagged
{
    virtual ~Tagged() = default;
    int m_iTag = 0;
};
struct Person : Tagged, Shape
{
    int m_iPerson = 0;
};
struct Prisoner : Person
{
};
struct Bed : Shape
{
};
template <int N> struct Kind : Shape
{
};

TEST(COrvaneCastMemoTest, AnswersAsTheDynamicCastDoesForEveryTypeAndPointer)
{
    COrvaneCastMemo<Person> kMemo;
    EXPECT_EQ(kMemo.Cast(static_cast<Shape*>(nullptr)), nullptr);

    std::vector<std::unique_ptr<Shape>> kShapes;
    for (int i = 0; i < 3; ++i)
    {
        kShapes.push_back(std::make_unique<Person>());
        kShapes.push_back(std::make_unique<Prisoner>());
        kShapes.push_back(std::make_unique<Bed>());
    }
    // More types than the memo keeps: the oldest are asked again.
    kShapes.push_back(std::make_unique<Kind<1>>());
    kShapes.push_back(std::make_unique<Kind<2>>());
    kShapes.push_back(std::make_unique<Kind<3>>());
    kShapes.push_back(std::make_unique<Kind<4>>());
    kShapes.push_back(std::make_unique<Kind<5>>());
    kShapes.push_back(std::make_unique<Kind<6>>());
    kShapes.push_back(std::make_unique<Kind<7>>());
    for (int iRound = 0; iRound < 3; ++iRound)
    {
        for (const std::unique_ptr<Shape>& spShape : kShapes)
        {
            Person* pkExpected = dynamic_cast<Person*>(spShape.get());
            EXPECT_EQ(kMemo.Cast(spShape.get()), pkExpected);
            if (pkExpected != nullptr)
            {
                EXPECT_NE(static_cast<void*>(pkExpected), static_cast<void*>(spShape.get())) << "moved";
            }
        }
    }

    // Const targets, and a cast down a single line.
    COrvaneCastMemo<const Prisoner> kConst;
    Prisoner kPrisoner;
    const Person& kAsPerson = kPrisoner;
    EXPECT_EQ(kConst.Cast(&kAsPerson), &kPrisoner);
    Person kPerson;
    EXPECT_EQ(kConst.Cast(static_cast<const Person*>(&kPerson)), nullptr);
    EXPECT_EQ(kConst.Cast(&kAsPerson), &kPrisoner);
}
} // namespace
