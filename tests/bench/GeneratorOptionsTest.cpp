#include <gtest/gtest.h>

#include "bench/GeneratorOptions.h"

TEST(GeneratorOptions, ReadsEveryOptionWithSuffixesAndLaterValuesWin) {
    const auto options = parseGeneratorOptions({"--notes",
                                                "5",
                                                "--notes=7",
                                                "--enml-bytes",
                                                "2K",
                                                "--attachment-bytes",
                                                "1M",
                                                "--attachments-per-note",
                                                "3",
                                                "--todos-per-note",
                                                "100000",
                                                "--constructs",
                                                "styles, TABLE",
                                                "--attachment-kind",
                                                "application/pdf",
                                                "--single-attachment-share",
                                                "0.5",
                                                "--seed",
                                                "0x10",
                                                "--output",
                                                "x.enex"});
    ASSERT_TRUE(options.has_value());
    EXPECT_EQ(options->notes, 7);
    EXPECT_EQ(options->enmlBytes, 2048);
    EXPECT_EQ(options->attachmentBytes, 1024 * 1024);
    EXPECT_EQ(options->attachmentsPerNote, 3);
    EXPECT_EQ(options->todosPerNote, 100000);
    EXPECT_EQ(options->constructs, unsigned(ENMLConstructStyles | ENMLConstructTable));
    EXPECT_EQ(options->attachmentKind, AttachmentKind::PDF);
    EXPECT_DOUBLE_EQ(options->singleAttachmentShare, 0.5);
    EXPECT_EQ(options->seed, 16u);
    EXPECT_EQ(options->outputPath, QStringLiteral("x.enex"));
    EXPECT_EQ(constructNames(options->constructs), QStringLiteral("styles,table"));
    EXPECT_EQ(parseGeneratorOptions({"--constructs", "all", "--output", "-"})->constructs,
              unsigned(ENMLConstructAll));
}

TEST(GeneratorOptions, RejectsWhatItCannotHonour) {
    const QList<QStringList> invalid = {
        {"--notes", "0"},
        {"--notes", "-3"},
        {"--notes", "2K"},  // counts take no suffix
        {"--attachment-bytes", "0"},
        {"--todos-per-note", "-1"},
        {"--todos-per-note", "1K"},  // a count
        {"--enml-bytes", "99999999999999999999"},
        {"--single-attachment-share", "1.5"},
        {"--single-attachment-share", "nan"},
        {"--constructs", "styles,tables"},
        {"--attachment-kind", "image/gif"},
        {"--colour", "red"},
        {"stray"},
        {"--seed"},
    };
    for (const QStringList& arguments : invalid) {
        Error error;
        EXPECT_FALSE(
            parseGeneratorOptions(arguments + QStringList{"--output", "x"}, &error).has_value())
            << arguments.join(u' ').toStdString();
        EXPECT_EQ(error.domain(), QString::fromLatin1(kGeneratorOptionsErrorDomain));
    }
    Error error;
    EXPECT_FALSE(parseGeneratorOptions({"--notes", "3"}, &error).has_value());
    EXPECT_TRUE(error.localizedDescription().contains(QLatin1String("--output")));
}
