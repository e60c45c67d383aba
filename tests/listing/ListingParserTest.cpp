// Listing lines below are real server output (kept byte for byte) unless marked as made up.
#include "listing/ListingParser.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "listing/ListingDates.h"

namespace tarsil {
namespace {

constexpr const char* kUnreadable = "1/1/80 12:00";

struct Row {
  FtpServerType type = ftpstDefault;
  std::string line = {};
  bool parsed = true;
  bool folder = false;
  std::string name = {};
  std::string size = {};
  std::string date = {};
  std::optional<std::string> link = std::nullopt;  // checked when given
  std::optional<std::string> owner = std::nullopt;
  std::optional<std::string> group = std::nullopt;
  std::optional<std::string> attributes = std::nullopt;
};

Row Fails(FtpServerType type, std::string line) { return Row{type, std::move(line), false}; }

void CheckRows(const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    SCOPED_TRACE("line: " + row.line);
    ListingParser parser("26");
    const std::optional<ListingEntry> entry = parser.ParseListingLine(row.type, row.line);
    ASSERT_EQ(entry.has_value(), row.parsed);
    if (!entry) continue;
    EXPECT_EQ(entry->is_folder, row.folder);
    EXPECT_EQ(entry->info.FileName, row.name);
    EXPECT_EQ(entry->info.Size, row.size);
    EXPECT_EQ(entry->info.Date, row.date);
    if (row.link) {
      EXPECT_EQ(entry->info.Link, *row.link);
    }
    if (row.owner) {
      EXPECT_EQ(entry->info.Owner, *row.owner);
    }
    if (row.group) {
      EXPECT_EQ(entry->info.Group, *row.group);
    }
    if (row.attributes) {
      EXPECT_EQ(entry->info.Attributes, *row.attributes);
    }
    EXPECT_EQ(entry->info.Reserved, "");
    EXPECT_EQ(entry->info.Description, "");
  }
}

TEST(ListingParser, UnixStyle) {
  CheckRows({
      Fails(ftpstUNIX, "total 12"),
      {ftpstUNIX, "-rw-r--r--   1 joe  staff   1234 Jan 15 12:34 My File.txt", true, false,
       "My File.txt", "1234", "1/15/26 12:34 PM", "", "joe", "staff", "-rw-r--r--"},
      {ftpstUNIX, "drwxr-xr-x   2 joe  staff    512 Mar  7  1999 pub", true, true, "pub", "512",
       "3/7/99 12:00 AM", ""},
      {ftpstUNIX, "lrwxrwxrwx   1 root root       7 Jan  1 00:05 bin -> usr/bin", true, true, "bin",
       "7", "1/1/26 12:05 AM", "-> usr/bin"},
      {ftpstUNIX, "lrwxrwxrwx   1 root root      10 Jan  1 09:00 notes -> README.TXT", true, false,
       "notes", "10", "1/1/26 9:00 AM", "-> README.TXT"},
      // Made up: an arrow inside a file name makes a link, and ->b names no file.
      {ftpstUNIX, "-rw-r--r-- 1 joe staff 9 Jan 1 12:00 a->b", true, true, "a", "9",
       "1/1/26 12:00 PM", "->b"},
      {ftpstUNIX, "drwxr-xr-x 2 joe staff 512 Jan 1 12:00 .", true, true, ".", "512",
       "1/1/26 12:00 PM"},
      // Made up: a line ending after its date words, and one ending earlier, still succeed.
      {ftpstUNIX, "-rw-r--r-- 1 joe staff 9 Jan 1 12:00", true, false, "12:00", "9", kUnreadable},
      {ftpstUNIX, "-rw-r--r-- 1 joe staff 9 Jan", true, false, "", "9", kUnreadable},
      Fails(ftpstUNIX, "-rw-r--r-- 1"),  // word 1 is empty
      {ftpstUNIX, "-rw-r--r--   1 500      500       2040000 Aug  5 07:35 testRemoteUPCopyNIX",
       true, false, "testRemoteUPCopyNIX", "2040000", "8/5/26 7:35 AM", "", "500", "500"},
      {ftpstUNIX, "-rwxrwx---   1 ftp      ftp-admin 816026400 Oct  5  2008 bloplab 7 cd1.img",
       true, false, "bloplab 7 cd1.img", "816026400", "10/5/08 12:00 AM"},
      {ftpstUNIX, "drwxr-xr-x    3 110      1002            3 Dec 02  2009 spaces   dir   name",
       true, true, "spaces   dir   name", "3", "12/02/09 12:00 AM"},
      {ftpstUNIX, "-rwxr-xr-x    3 110      1002            1234567 Dec 02  2009  foo bar ", true,
       false, "foo bar", "1234567", "12/02/09 12:00 AM"},
      {ftpstBSD,
       "lrwxrwxrwx    1 0        1001           27 Jul 07  2017 R-3.4.0.pkg -> "
       "el-capitan/base/R-3.4.0.pkg",
       true, true, "R-3.4.0.pkg", "27", "7/07/17 12:00 AM", "-> el-capitan/base/R-3.4.0.pkg"},
      {ftpstUNIX, "drwxr-sr-x   2 45854    200           512 May 29  2000 os1 -> os2 -> os3", true,
       true, "os1", "512", "5/29/00 12:00 AM", "-> os2 -> os3"},
      {ftpstUNIX, "lrw-r--r--   1 14       14          80284 Aug 22  2000 zxJDBC-1.2.3.tar.gz",
       true, true, "zxJDBC-1.2.3.tar.gz", "80284", "8/22/00 12:00 AM", ""},
      {ftpstSunOS, "frw-r--r--   1 14       staff      119926 Aug 22  2000 zxJDBC-1.2.3.zip", true,
       false, "zxJDBC-1.2.3.zip", "119926", "8/22/00 12:00 AM"},
      {ftpstUNIX, "-rw-rw-r--   1 mqm        mqm          17707 Mar 12  3:33 killmq.sh.log", true,
       false, "killmq.sh.log", "17707", "3/12/26 3:33 AM"},
      {ftpstUNIX, "drwxr-xr-x   2 root     99           4096 Feb 23 30:01 zzplayer", true, true,
       "zzplayer", "4096", "2/23/26 18:01 PM"},
      Fails(ftpstUNIX, "crw-r----- 1 root kmem 0, 27 Jan 30 11:42 kmem"),
      Fails(ftpstUNIX, "Gesamt 4352"),
  });
}

TEST(ListingParser, NetwareNetPresenzNetTerm) {
  CheckRows({
      {ftpstNetware, "d [RWCEAFMS] owner 512 Jan 01 12:00 dir", true, true, "dir", "512",
       "1/01/26 12:00 PM", "", "owner", "512", "d"},
      {ftpstNetware,
       "- [RWCEAFMS] rwinston                        19968 Mar 12 15:20 Executive Summary.doc",
       true, false, "Executive Summary.doc", "19968", "3/12/26 3:20 PM"},
      {ftpstNetware, "d [RWCEAFMS] rwinston                          512 Nov 24  2005 Favorites",
       true, true, "Favorites", "512", "11/24/05 12:00 AM"},
      {ftpstNetware, "d [R----F--] supervisor            512       Jan 16 18:53    login", true,
       true, "login", "512", "1/16/26 6:53 PM"},
      // Any other type: word 1 beginning with "[" also puts the size in word 3.
      {ftpstDefault,
       "- [RWCEAFMS] rwinston                        19968 Mar 12 15:20 Executive Summary.doc",
       true, false, "Executive Summary.doc", "19968", "3/12/26 3:20 PM"},
      {ftpstNetPresenz, "drwxrwxr-x               folder        2 May 10  1996 network", true, true,
       "network", "2", "5/10/96 12:00 AM"},
      {ftpstNetPresenz, "-------r--         326  1391972  1392298 Nov 22  1995 MegaPhone.sit", true,
       false, "MegaPhone.sit", "1392298", "11/22/95 12:00 AM"},
      {ftpstNetPresenz, "-rwxr-xr-x      332           7      339 Feb  5  2004 welcome.txt", true,
       false, "welcome.txt", "339", "2/5/04 12:00 AM"},
      // Made up: NetTerm puts the size in word 2 and needs no word 1.
      {ftpstNetTerm, "-rw-r--r-- owner 1234 Jan 15 12:34 notes.txt", true, false, "notes.txt",
       "1234", "1/15/26 12:34 PM"},
      {ftpstNetTerm, "-rw-r--r--", true, false, "", "", kUnreadable},
  });
}

TEST(ListingParser, DosStyle) {
  CheckRows({
      {ftpstMSFTP, "12-31-99  03:45PM       <DIR>          Old Stuff", true, true, "Old Stuff", "0",
       "12/31/99 03:45 PM", "", "", "", ""},
      {ftpstMSFTP, "05-26-95  10:57AM               143712 $LDR$", true, false, "$LDR$", "143712",
       "05/26/95 10:57 AM"},
      {ftpstDefault, "07-21-00  01:19PM                95077 Jon Kauffman Enjoys the Good Life.jpg",
       true, false, "Jon Kauffman Enjoys the Good Life.jpg", "95077", "07/21/00 01:19 PM"},
      // The usual layout keeps a name's leading blank (column 40).
      {ftpstMSFTP, "12-03-96  06:38PM       <DIR>           10 years and under", true, true,
       " 10 years and under", "0", "12/03/96 06:38 PM"},
      {ftpstMSFTP, "04-27-10  05:12AM       <DIR>          .", true, true, ".", "0",
       "04/27/10 05:12 AM"},
      {ftpstMSFTP, "07-27-01  11:16AM                      Test", true, false, "Test", "",
       "07/27/01 11:16 AM"},
      {ftpstMSFTP, "10-02-98  04:44PM       12444          rodney.txt", true, false, "rodney.txt",
       "12444", "10/02/98 04:44 PM"},
      // Made up: DOS-style names are taken whole, arrows included, and are not trimmed.
      {ftpstMSFTP, "12-31-99  03:45PM                    5 a -> b  ", true, false, "a -> b  ", "5",
       "12/31/99 03:45 PM", ""},
      Fails(ftpstMSFTP, "12-31 03:45PM 5 x"),  // date word shorter than six characters
  });
}

// Regression: with four-digit years, 24-hour times or wide sizes the name is not in column 40;
// it used to come out as "2 $LDR$", "twork", "0 years and under", "000000 AUTOEXEC.BAK".
TEST(ListingParserRegression, DosNameFollowsTheSizeWord) {
  CheckRows({
      {ftpstMSFTP, "05-26-1995  10:57AM               143712 $LDR$", true, false, "$LDR$", "143712",
       "05/26/1995 10:57 AM"},
      {ftpstMSFTP, "05-26-1995  10:57AM  143712 $LDR$", true, false, "$LDR$", "143712",
       "05/26/1995 10:57 AM"},
      {ftpstMSFTP, "10-10-2014  10:10AM       <DIR>        FTP", true, true, "FTP", "0",
       "10/10/2014 10:10 AM"},
      // A four-digit year moves the name past column 40: no blanks of the gap go with it.
      {ftpstMSFTP, "08-10-2015  02:04PM       <DIR>          Billing", true, true, "Billing", "0",
       "08/10/2015 02:04 PM"},
      {ftpstMSFTP, "08-10-2015  02:04PM                 1234 report.pdf", true, false, "report.pdf",
       "1234", "08/10/2015 02:04 PM"},
      {ftpstMSFTP, "01-01-98  05:00       <DIR>          Network", true, true, "Network", "0",
       "01/01/98 05:00 AM"},
      {ftpstMSFTP, "09-13-10  13:08                   23 Control Panel.lnk", true, false,
       "Control Panel.lnk", "23", "09/13/10 01:08 PM"},
      {ftpstMSFTP, "12-05-96  17:03         <DIR>          absoft2", true, true, "absoft2", "0",
       "12/05/96 05:03 PM"},
      {ftpstMSFTP, "12-03-96  06:38       <DIR>           10 years and under", true, true,
       "10 years and under", "0", "12/03/96 06:38 AM"},
      {ftpstMSFTP, "05-22-97  12:08AM                  5000000000 AUTOEXEC.BAK", true, false,
       "AUTOEXEC.BAK", "5000000000", "05/22/97 12:08 AM"},
      {ftpstDefault, "2002-09-02  19:06                9,730 19-dos-longyear file", true, false,
       "19-dos-longyear file", "9,730", "09/02/2002 07:06 PM"},
  });
}

// Regression: an access-control or attribute mark after the permissions made word 0 eleven
// characters long, which was read as a glued link count ("09:56 pub", size "25").
TEST(ListingParserRegression, PermissionMarksAreNotGluedLinkCounts) {
  CheckRows({
      {ftpstUNIX, "drwxr-xr-x+ 16 root     sys          512 Sep 25 09:56 pub", true, true, "pub",
       "512", "9/25/26 9:56 AM", "", "root", "sys", "drwxr-xr-x+"},
      {ftpstUNIX, "d-wx-wx-wt+  4 ftp      989          512 Dec  8 15:54 incoming", true, true,
       "incoming", "512", "12/8/26 3:54 PM"},
      {ftpstUNIX, "-rwxrw-r--+  1 521      101         2080 May 21 10:53 data.csv", true, false,
       "data.csv", "2080", "5/21/26 10:53 AM"},
      // Made up in the shapes macOS and SELinux servers write.
      {ftpstUNIX, "-rw-r--r--@  1 joe  staff  6148 Oct  3 10:21 .DS_Store", true, false,
       ".DS_Store", "6148", "10/3/26 10:21 AM"},
      {ftpstUNIX, "-rw-r--r--.  1 root root   1024 Mar  4  2021 selinux.conf", true, false,
       "selinux.conf", "1024", "3/4/21 12:00 AM"},
      // A link count glued behind the mark, or right behind the permissions, still counts.
      {ftpstUNIX, "drwxr-x---+1464 chrism   chrism     41472 Feb 25 13:17 20090225", true, true,
       "20090225", "41472", "2/25/26 1:17 PM", "", "chrism", "41472"},
      {ftpstUNIX, "-rw-r--r--12 ftp ftp 4096 Jan 1 2000 x y", true, false, "x y", "4096",
       "1/1/00 12:00 AM"},
      // z/OS Unix: a long first word that holds no link count.
      {ftpstUNIX, "-C--E-----FTP B QUA1I1      18128       41 Aug 12 13:56 QUADTEST", true, false,
       "QUADTEST", "41", "8/12/26 1:56 PM"},
  });
}

TEST(ListingParser, VmsLines) {
  CheckRows({
      {ftpstVmsMultinet, "00README.TXT;1      2 30-DEC-1996 17:44 [SYSTEM] (RWED,RWED,RE,RE)", true,
       false, "00README.TXT", "2", "12/30/96 5:44 PM", ""},
      {ftpstVmsMultinet, "CORE.DIR;1          1  8-SEP-1996 16:09 [SYSTEM] (RWE,RWE,RE,RE)", true,
       true, "CORE", "1", "9/8/96 4:09 PM"},
      {ftpstVmsMultinet, "SRC.DIR;1  3  (rest of the line)", true, true, "SRC", "3", kUnreadable},
      {ftpstVmsMultinet,
       "rexx.DIR;1               1 11-AUG-2009 18:06 [ANONY,ANONYMOUS] (RWE,RE,RE,RE)", true, true,
       "rexx", "1", "8/11/09 6:06 PM"},
      {ftpstVmsMultinet,
       "VMS721.ISO;2        ******  6-MAY-2008 09:29 [ANONY,ANONYMOUS] (RE,RWED,RE,RE)", true,
       false, "VMS721.ISO", "******", "5/6/08 9:29 AM"},
      {ftpstVmsUcx,
       "README.FTP;1        %RMS-E-PRV, insufficient privilege or file protection "
       "violation",
       true, false, "README.FTP", "%RMS-E-PRV,", kUnreadable},
      // Made up: ".DIR" is looked for with its capitals only.
      {ftpstVmsUcx, "NOTES.dir;1 1 1-JAN-2000 10:00 [X] (RWE)", true, false, "NOTES.dir", "1",
       "1/1/00 10:00 AM"},
      Fails(ftpstVmsMultinet, "Total of 11 Files, 10966 Blocks."),
      Fails(ftpstVmsMultinet, "EISNER$DRA3:[DECUSERVE_USER.JOHNDOE]"),
      {ftpstVmsUcx,
       "CII-MANUAL.TEX;1  213/216  29-JAN-1996 03:33:12  [ANONYMOU,ANONYMOUS] (RWED,RWED,,)", true,
       false, "CII-MANUAL.TEX", "213/216", "1/29/96 3:33 AM"},
      {ftpstVmsUcx,
       "1-JUN.LIS;2              9/9           JUN-2-1998 07:32:04  [GROUP,OWNER]    "
       "(RWED,RWED,RWED,)",
       true, false, "1-JUN.LIS", "9/9", "6/2/98 7:32 AM"},
      {ftpstVmsUcx,
       "1-JUN.LIS;1              9/9           2-jun-1998 07:32:04  [GROUP,OWNER]    "
       "(RWED,RWED,RWED,RE)",
       true, false, "1-JUN.LIS", "9/9", "6/2/98 7:32 AM"},
      {ftpstVmsUcx,
       "AA.;2                  152/153        13-FED-1997 08:13:43  [GROUP,OWNER]    "
       "(RWED,RWED,RWED,RE)",
       true, false, "AA.", "152/153", kUnreadable},
      {ftpstVmsUcx,
       "DATA.DIR; 1              1/9           2-JUN-1998 07:32:04  [GROUP,OWNER]    "
       "(,RWED,RWED,RE)",
       true, true, "DATA", "1", kUnreadable},
      {ftpstVmsUcx, "[VMSSERV.FILES]ALARM.DIR;1 1/3 5-MAR-1993 18:09", true, true,
       "[VMSSERV.FILES]ALARM", "1/3", kUnreadable},
  });
}

TEST(ListingParser, VmAndVmVps) {
  CheckRows({
      {ftpstVM, "$$KEYS$$ SAVECMS  V         59         24          1 10/21/98 12:10:56 ROB191",
       true, false, "$$KEYS$$.SAVECMS", "59", "10/21/98 12:10 PM", ""},
      {ftpstVM, "CTLCAFR  $STAIRS  V         73         40          1  7/24/98  7:35:29 ROB191",
       true, false, "CTLCAFR.$STAIRS", "73", "7/24/98 7:35 AM"},
      {ftpstVM, "CONFEREN GDLINES  V         74        863         10 1991-12-04 10:15:36 ROB191",
       true, false, "CONFEREN.GDLINES", "74", "12/4/91 10:15 AM"},
      {ftpstVM, "INDEX    HTML     V         91         45          1  1/15/02  0:05:22 -", true,
       false, "INDEX.HTML", "91", "1/15/02 12:05 AM"},
      {ftpstVM, "70-ZVMFILE  TRACE   V        65      107        2 2005-10-04 15:28:42 060191",
       true, false, "70-ZVMFILE.TRACE", "65", "10/4/05 3:28 PM"},
      {ftpstVM, "Filename FileType  Fm Format Lrecl  Records Blocks Date      Time", true, false,
       "Filename.FileType", "Format", kUnreadable},
      Fails(ftpstVM, ""),
      {ftpstVMVPS, "$$KEYS$$ SAVECMS  V         59         24          1 10/21/98 12:10:56 ROB191",
       true, false, ".SAVECMS", "V", "10/21/98 12:10 PM"},
      Fails(ftpstVMVPS, "Type=file;Size=431;Modify=20130303210732;UNIX.mode=0664; HEADER.html"),
      Fails(ftpstVMVPS, "   totals: 12 files"),
      Fails(ftpstVMVPS, "  1234 rf trks"),
      Fails(ftpstVMVPS, "over track limit"),
  });
}

TEST(ListingParser, Eplf) {
  CheckRows({
      {ftpstUNIX, "+i8388621.48594,m825718503,r,s280,\tnotes.html", true, false, "notes.html",
       "280", "03/01/96 22:15", "8388621.48594"},
      {ftpstVmsUcx, "+i8388621.29609,m824255902,/,\tdev", true, true, "dev", "0", "02/13/96 23:58",
       "8388621.29609"},
      {ftpstVM, "+i8388621.50690,m824255907,/,\t15-eplf dir", true, true, "15-eplf dir", "0",
       "02/13/96 23:58", "8388621.50690"},
      {ftpstDefault, "+\tname", true, false, "name", "0", kUnreadable, ""},
      {ftpstDefault, "+/,r,\tx", true, false, "x", "0", kUnreadable},
      {ftpstDefault, "+s12,mxyz,\tx", true, false, "x", "12", kUnreadable},
      {ftpstDefault, "+i1,/,,q7,x", true, true, "x", "0", kUnreadable, "1"},  // no tab
      Fails(ftpstDefault, "+i1,s5,"),
      Fails(ftpstDefault, "+"),
  });
}

// Regression: the name after the tab may hold commas, and a last fact may lack its comma; both
// used to be taken into the facts or the name.
TEST(ListingParserRegression, EplfFactsEndAtTheTab) {
  CheckRows({
      {ftpstUNIX, "+i8388621.48594,m825718503,r,s280,up755\t14-eplf file", true, false,
       "14-eplf file", "280", "03/01/96 22:15"},
      {ftpstUNIX, "+i1.2,s5,\tfoo,bar.txt", true, false, "foo,bar.txt", "5", kUnreadable, "1.2"},
  });
}

TEST(ListingParser, GeneralRuleRejectsOtherFirstCharacters) {
  for (const char* line : {
           "total 12",
           "zrwxr-xr-x   2 root     root         4096 Mar  2 15:13 zxbox",
           "brw-r--r--   1 ftp      nogroup    126552 Jan 22  2001 zxJDBC-1.2.4.zip",
           "     0           DIR   05-19-97   12:56  local",
           "Type=file;Size=431;Modify=20130303210732;UNIX.mode=0664; HEADER.html",
           "PEP               422 03/24 14:06:26 *STMF      readme",
           "SAVE00 3390   2004/06/23  1    1  FB     128  6144  PS    INCOMING.RPTBM023.D061704",
       }) {
    ListingParser parser("26");
    EXPECT_FALSE(parser.ParseListingLine(ftpstMVS, line)) << line;
    EXPECT_FALSE(parser.ParseListingLine(ftpstAutoDetect, line)) << line;
  }
}

std::vector<ListingEntry> ParseAll(ListingParser& parser, FtpServerType type,
                                   const std::vector<std::string>& lines) {
  std::vector<ListingEntry> entries;
  for (const std::string& line : lines) {
    if (auto entry = parser.ParseListingLine(type, line)) entries.push_back(*entry);
  }
  return entries;
}

TEST(ListingParser, VmsLongNameWaitsForItsContinuationLine) {
  ListingParser parser("26");
  EXPECT_FALSE(parser.ParseListingLine(ftpstVmsMultinet, "NOTES$NOTEBOOK.NOTE;1"));
  EXPECT_EQ(parser.PendingVmsText(), "NOTES$NOTEBOOK.NOTE;1");
  const std::vector<ListingEntry> entries =
      ParseAll(parser, ftpstVmsMultinet,
               {"                           36   4-NOV-2009 05:55 [DECUSERVE] (RWE,RWE,,)",
                "TEST.DIR;1                  1   4-NOV-2009 08:15 [JOHNDOE] (RWE,RWE,,)"});
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].info.FileName, "NOTES$NOTEBOOK.NOTE");
  EXPECT_EQ(entries[0].info.Size, "36");
  EXPECT_EQ(entries[0].info.Date, "11/4/09 5:55 AM");
  EXPECT_EQ(entries[1].info.FileName, "TEST");
  EXPECT_TRUE(entries[1].is_folder);
  EXPECT_EQ(parser.PendingVmsText(), "");

  const std::vector<ListingEntry> ucx =
      ParseAll(parser, ftpstVmsUcx,
               {"UCX$REXECD_STARTUP.LOG;1098",
                "                         4/15         24-FEB-2003 13:17:24  [POSTWARE,LP]    "
                "(RWED,RWED,RE,)",
                "ANON_FTP_LOG.LOG;23",
                "                   <%SYSTEM-F-NOPRIV, insufficient privilege or object protection "
                "violation>"});
  ASSERT_EQ(ucx.size(), 2u);
  EXPECT_EQ(ucx[0].info.FileName, "UCX$REXECD_STARTUP.LOG");
  EXPECT_EQ(ucx[0].info.Size, "4/15");
  EXPECT_EQ(ucx[0].info.Date, "2/24/03 1:17 PM");
  EXPECT_EQ(ucx[1].info.FileName, "ANON_FTP_LOG.LOG");
  EXPECT_EQ(ucx[1].info.Date, kUnreadable);
}

TEST(ListingParser, ClearPendingVmsTextForgetsTheWaitingName) {
  ListingParser parser("26");
  EXPECT_FALSE(parser.ParseListingLine(ftpstVmsUcx, "FILESERV_HELP.TXT;1"));
  parser.ClearPendingVmsText();
  EXPECT_FALSE(parser.ParseListingLine(
      ftpstVmsUcx, "                            7   9-OCT-1996 08:39 [ARCHIVES] (RWED,RWED,,RE)"));
  EXPECT_EQ(parser.PendingVmsText(), "");
}

// Regression: a continuation line without leading blanks used to be glued to the name
// ("FILE123.DAT;164"), shifting size and date.
TEST(ListingParserRegression, VmsContinuationWithoutBlanks) {
  ListingParser parser("26");
  const std::vector<ListingEntry> entries =
      ParseAll(parser, ftpstVmsMultinet,
               {"FILE123.DAT;1", "64   4-MAR-2019 00:04 [USR,USRGROUP] (RWED,RWED,RWED,R)",
                "FILE456.DAT;1", "102  28-APR-2013 23:12 [USR,USRGROUP] (RWED,RWED,RWED,R)"});
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].info.FileName, "FILE123.DAT");
  EXPECT_EQ(entries[0].info.Size, "64");
  EXPECT_EQ(entries[0].info.Date, "3/4/19 12:04 AM");
  EXPECT_EQ(entries[1].info.Size, "102");
  EXPECT_EQ(entries[1].info.Date, "4/28/13 11:12 PM");
}

// Regression: a line starting with a blank used to become pending text; every later line was
// then glued to it and the rest of the listing was lost (and the text grew without bound).
TEST(ListingParserRegression, VmsBlankLedLineDoesNotSwallowTheListing) {
  ListingParser parser("26");
  EXPECT_FALSE(parser.ParseListingLine(ftpstVmsUcx, "  %RMS-E-PRV; insufficient privilege"));
  EXPECT_EQ(parser.PendingVmsText(), "");
  const auto entry = parser.ParseListingLine(
      ftpstVmsUcx,
      "LOGIN.COM;1              8 25-NOV-2003 20:01 [ANONY,ANONYMOUS] (RWED,RE,RE,RE)");
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->info.FileName, "LOGIN.COM");
  EXPECT_EQ(entry->info.Date, "11/25/03 8:01 PM");
}

TEST(ListingParser, CurrentYearIsInjected) {
  ListingParser parser("07");
  const auto entry = parser.ParseListingLine(ftpstUNIX, "-rw-r--r-- 1 u g 5 Jan 15 12:34 f");
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->info.Date, "1/15/07 12:34 PM");
  ListingParser default_year;
  EXPECT_EQ(
      default_year.ParseListingLine(ftpstUNIX, "-rw-r--r-- 1 u g 5 Jan 15 12:34 f")->info.Date,
      "1/15/" + CurrentYearText() + " 12:34 PM");
}

TEST(ListingParser, Cp932NamesStayWhole) {
  // "資料 表.txt" and a name whose second byte is 0x5C (表), in CP932.
  const std::string name = "\x8e\x91\x97\xbf \x95\x5c.txt";
  ListingParser parser("26");
  const auto unix_entry =
      parser.ParseListingLine(ftpstUNIX, "-rw-r--r-- 1 u g 5 Jan 15 12:34 " + name);
  ASSERT_TRUE(unix_entry);
  EXPECT_EQ(unix_entry->info.FileName, name);
  const auto dos_entry =
      parser.ParseListingLine(ftpstMSFTP, "12-31-99  03:45PM                    5 " + name);
  ASSERT_TRUE(dos_entry);
  EXPECT_EQ(dos_entry->info.FileName, name);
}

}  // namespace
}  // namespace tarsil
