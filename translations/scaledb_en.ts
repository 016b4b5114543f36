<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>DatabaseKinds</name>
    <message>
        <source>product database</source>
        <translation>product database</translation>
    </message>
    <message>
        <source>user database</source>
        <translation>user database</translation>
    </message>
    <message>
        <source>label database</source>
        <translation>label database</translation>
    </message>
    <message>
        <source>status database</source>
        <translation>status database</translation>
    </message>
</context>
<context>
    <name>Progress</name>
    <message>
        <source>, %1 records/s</source>
        <translation>, %1 records/s</translation>
    </message>
    <message>
        <source>, %1 left</source>
        <translation>, %1 left</translation>
    </message>
    <message>
        <source>accepted</source>
        <translation>accepted</translation>
    </message>
    <message>
        <source>failed: </source>
        <translation>failed: </translation>
    </message>
    <message>
        <source>connected</source>
        <translation>connected</translation>
    </message>
    <message>
        <source>looking up</source>
        <translation>looking up</translation>
    </message>
    <message>
        <source>%1 %2 %3 of %4</source>
        <translation>%1 %2 %3 of %4</translation>
    </message>
    <message>
        <source>, looking up</source>
        <translation>, looking up</translation>
    </message>
    <message>
        <source>, waiting</source>
        <translation>, waiting</translation>
    </message>
    <message>
        <source>%1 %2 of %3 records, %4 of %5 scales done, %6 failed</source>
        <translation>%1 %2 of %3 records, %4 of %5 scales done, %6 failed</translation>
    </message>
    <message>
        <source>, %1 looking up</source>
        <translation>, %1 looking up</translation>
    </message>
</context>
<context>
    <name>ScaleJob</name>
    <message>
        <source>tcp://HOST:PORT, udp://ADDRESS:PORT (four numbers 0-255) or serial:DEVICE[@BAUD]</source>
        <translation>tcp://HOST:PORT, udp://ADDRESS:PORT (four numbers 0-255) or serial:DEVICE[@BAUD]</translation>
    </message>
</context>
<context>
    <name>ScaleKeys</name>
    <message>
        <source>%1 and %2 are the same scale</source>
        <translation>%1 and %2 are the same scale</translation>
    </message>
    <message>
        <source>%1 and %2 are one address over UDP: its replies could not be told apart</source>
        <translation>%1 and %2 are one address over UDP: its replies could not be told apart</translation>
    </message>
</context>
<context>
    <name>SendCommand</name>
    <message>
        <source>cannot write %1: %2</source>
        <translation>cannot write %1: %2</translation>
    </message>
    <message>
        <source>%1 is not a regular file</source>
        <translation>%1 is not a regular file</translation>
    </message>
    <message>
        <source>nothing found</source>
        <translation>nothing found</translation>
    </message>
    <message>
        <source>1 finding</source>
        <translation>1 finding</translation>
    </message>
    <message>
        <source>%1 findings</source>
        <translation>%1 findings</translation>
    </message>
    <message>
        <source>standard output took nothing for %1 s after the signal</source>
        <translation>standard output took nothing for %1 s after the signal</translation>
    </message>
    <message>
        <source>scaledb: cannot write the report: %1
</source>
        <translation>scaledb: cannot write the report: %1
</translation>
    </message>
    <message>
        <source>out of memory loading %1</source>
        <translation>out of memory loading %1</translation>
    </message>
    <message>
        <source>warning: </source>
        <translation>warning: </translation>
    </message>
    <message>
        <source>not sent: %1 (--strict)</source>
        <translation>not sent: %1 (--strict)</translation>
    </message>
    <message>
        <source>not sent: </source>
        <translation>not sent: </translation>
    </message>
    <message>
        <source>the open-file limit allows %1 uploads at once: running them --jobs %1</source>
        <translation>the open-file limit allows %1 uploads at once: running them --jobs %1</translation>
    </message>
    <message>
        <source>Sending a database to a scale</source>
        <translation>Sending a database to a scale</translation>
    </message>
    <message>
        <source>Sending a database to %1 scales</source>
        <translation>Sending a database to %1 scales</translation>
    </message>
    <message>
        <source>cannot list serial devices in %1: %2</source>
        <translation>cannot list serial devices in %1: %2</translation>
    </message>
    <message>
        <source>no serial devices found</source>
        <translation>no serial devices found</translation>
    </message>
    <message>
        <source> (see --help)</source>
        <translation> (see --help)</translation>
    </message>
    <message>
        <source>unexpected argument %1 (see --help)</source>
        <translation>unexpected argument %1 (see --help)</translation>
    </message>
    <message>
        <source>unknown command %1 (see --help)</source>
        <translation>unknown command %1 (see --help)</translation>
    </message>
    <message>
        <source>out of memory</source>
        <translation>out of memory</translation>
    </message>
</context>
<context>
    <name>SendOptions</name>
    <message>
        <source>A scale to upload to; repeat for several.</source>
        <translation>A scale to upload to; repeat for several.</translation>
    </message>
    <message>
        <source>Scales to upload to, one LINK a line (&apos;#&apos; comments); LINKS - is standard input.</source>
        <translation>Scales to upload to, one LINK a line (&apos;#&apos; comments); LINKS - is standard input.</translation>
    </message>
    <message>
        <source>The device type: standard or qd58.</source>
        <translation>The device type: standard or qd58.</translation>
    </message>
    <message>
        <source>The database kind: product or user (standard); label, user or status (qd58).</source>
        <translation>The database kind: product or user (standard); label, user or status (qd58).</translation>
    </message>
    <message>
        <source>the type&apos;s first, product or label</source>
        <translation>the type&apos;s first, product or label</translation>
    </message>
    <message>
        <source>Ends an upload whose command gets no reply for SECONDS.</source>
        <translation>Ends an upload whose command gets no reply for SECONDS.</translation>
    </message>
    <message>
        <source>Ends an upload whose link is not up after SECONDS.</source>
        <translation>Ends an upload whose link is not up after SECONDS.</translation>
    </message>
    <message>
        <source>Ends a scale&apos;s upload when it answers one command wrongly N times in a row.</source>
        <translation>Ends a scale&apos;s upload when it answers one command wrongly N times in a row.</translation>
    </message>
    <message>
        <source>Tries a link lost during an upload again every 2 s for up to SECONDS, then sends the awaited command again (0: the loss ends the upload).</source>
        <translation>Tries a link lost during an upload again every 2 s for up to SECONDS, then sends the awaited command again (0: the loss ends the upload).</translation>
    </message>
    <message>
        <source>At most N uploads at once.</source>
        <translation>At most N uploads at once.</translation>
    </message>
    <message>
        <source>all at once</source>
        <translation>all at once</translation>
    </message>
    <message>
        <source>The local UDP port every UDP scale answers to (0 takes any free port).</source>
        <translation>The local UDP port every UDP scale answers to (0 takes any free port).</translation>
    </message>
    <message>
        <source>The outcome on standard output as text or json (one object per scale).</source>
        <translation>The outcome on standard output as text or json (one object per scale).</translation>
    </message>
    <message>
        <source>Writes every command, reply and link event to FILE, one a line.</source>
        <translation>Writes every command, reply and link event to FILE, one a line.</translation>
    </message>
    <message>
        <source>Only checks FILE: exit 0 when nothing is found, 1 otherwise; no link needed (a udp:// one adds the UDP command length).</source>
        <translation>Only checks FILE: exit 0 when nothing is found, 1 otherwise; no link needed (a udp:// one adds the UDP command length).</translation>
    </message>
    <message>
        <source>Sends nothing when the check finds something (exit 1).</source>
        <translation>Sends nothing when the check finds something (exit 1).</translation>
    </message>
    <message>
        <source>No progress on standard error, only the report.</source>
        <translation>No progress on standard error, only the report.</translation>
    </message>
    <message>
        <source>Progress bars even when standard error is not a terminal.</source>
        <translation>Progress bars even when standard error is not a terminal.</translation>
    </message>
    <message>
        <source>Lets the system sleep during the upload (by default it is held off over D-Bus).</source>
        <translation>Lets the system sleep during the upload (by default it is held off over D-Bus).</translation>
    </message>
    <message>
        <source>Prints this help.</source>
        <translation>Prints this help.</translation>
    </message>
    <message>
        <source>Prints the program&apos;s version.</source>
        <translation>Prints the program&apos;s version.</translation>
    </message>
    <message>
        <source>Usage: scaledb [--scales LIST] [FILE]
       scaledb send FILE --to LINK [--to LINK ...] [options]
       scaledb send FILE --to-file LINKS [options]
       scaledb send FILE --check [--to LINK ...]
       scaledb ports
       scaledb --help | --version

Without arguments, or with a FILE, opens the window (Qt&apos;s own options, such as
-platform or -style, go before or after FILE). --scales opens the Scales panel
with LIST&apos;s scales (a file of links, a name after each if wanted).
send uploads FILE to each scale named by --to or listed in --to-file, all at once
(or --jobs at a time), and prints the outcome of each.
LINK is tcp://HOST:PORT, udp://ADDRESS:PORT or serial:DEVICE[@BAUD] (baud 9600
when not given). Two links that reach the same scale are refused.
FILE is checked first; what the check finds is printed as warnings on standard
error.
On a terminal, progress shows as a bar per scale, or one bar for a larger fleet;
otherwise as a line per scale event.
ports lists the serial devices, one a line, tab-separated: kernel name, stable
/dev/serial/by-id path, USB product, serial number (empty when unknown).
</source>
        <translation>Usage: scaledb [--scales LIST] [FILE]
       scaledb send FILE --to LINK [--to LINK ...] [options]
       scaledb send FILE --to-file LINKS [options]
       scaledb send FILE --check [--to LINK ...]
       scaledb ports
       scaledb --help | --version

Without arguments, or with a FILE, opens the window (Qt&apos;s own options, such as
-platform or -style, go before or after FILE). --scales opens the Scales panel
with LIST&apos;s scales (a file of links, a name after each if wanted).
send uploads FILE to each scale named by --to or listed in --to-file, all at once
(or --jobs at a time), and prints the outcome of each.
LINK is tcp://HOST:PORT, udp://ADDRESS:PORT or serial:DEVICE[@BAUD] (baud 9600
when not given). Two links that reach the same scale are refused.
FILE is checked first; what the check finds is printed as warnings on standard
error.
On a terminal, progress shows as a bar per scale, or one bar for a larger fleet;
otherwise as a line per scale event.
ports lists the serial devices, one a line, tab-separated: kernel name, stable
/dev/serial/by-id path, USB product, serial number (empty when unknown).
</translation>
    </message>
    <message>
        <source>
SIGINT, SIGTERM or SIGHUP ends every upload where it stands, reports each scale
&quot;interrupted at record K of R&quot; and exits 130 (SIGINT) or 143; a second SIGINT
ends at once.

Exit status: 0 every scale accepted the database, 1 one did not, or the report or
log could not be written whole, 2 bad arguments.
With --check: 0 nothing found, 1 something found, 2 bad arguments.

Examples:
  scaledb send products.csv --to tcp://192.168.1.20:4001
  scaledb send products.csv --to serial:/dev/ttyUSB0@9600 --kind user
  scaledb send labels.csv --device qd58 --to-file scales.txt --jobs 20 --report json
  scaledb send products.csv --check --to udp://192.168.1.30:1001
  scaledb ports
</source>
        <translation>
SIGINT, SIGTERM or SIGHUP ends every upload where it stands, reports each scale
&quot;interrupted at record K of R&quot; and exits 130 (SIGINT) or 143; a second SIGINT
ends at once.

Exit status: 0 every scale accepted the database, 1 one did not, or the report or
log could not be written whole, 2 bad arguments.
With --check: 0 nothing found, 1 something found, 2 bad arguments.

Examples:
  scaledb send products.csv --to tcp://192.168.1.20:4001
  scaledb send products.csv --to serial:/dev/ttyUSB0@9600 --kind user
  scaledb send labels.csv --device qd58 --to-file scales.txt --jobs 20 --report json
  scaledb send products.csv --check --to udp://192.168.1.30:1001
  scaledb ports
</translation>
    </message>
    <message>
        <source> Default: %1.</source>
        <translation> Default: %1.</translation>
    </message>
    <message>
        <source>cannot read %1: %2</source>
        <translation>cannot read %1: %2</translation>
    </message>
    <message>
        <source>%1 holds over 16 MiB: not a list of links</source>
        <translation>%1 holds over 16 MiB: not a list of links</translation>
    </message>
    <message>
        <source>--timeout needs a number of seconds</source>
        <translation>--timeout needs a number of seconds</translation>
    </message>
    <message>
        <source>--connect-timeout needs a number of seconds</source>
        <translation>--connect-timeout needs a number of seconds</translation>
    </message>
    <message>
        <source>--retries needs a number from 1</source>
        <translation>--retries needs a number from 1</translation>
    </message>
    <message>
        <source>--reconnect needs a number of seconds (0: none)</source>
        <translation>--reconnect needs a number of seconds (0: none)</translation>
    </message>
    <message>
        <source>--jobs needs a number from 1</source>
        <translation>--jobs needs a number from 1</translation>
    </message>
    <message>
        <source>--udp-port needs a port number (0: any)</source>
        <translation>--udp-port needs a port number (0: any)</translation>
    </message>
    <message>
        <source>--device is standard or qd58</source>
        <translation>--device is standard or qd58</translation>
    </message>
    <message>
        <source>--kind %1 is not offered by device %2 (%3)</source>
        <translation>--kind %1 is not offered by device %2 (%3)</translation>
    </message>
    <message>
        <source>
Options:
</source>
        <translation>
Options:
</translation>
    </message>
    <message>
        <source>unexpected argument %1 (see --help)</source>
        <translation>unexpected argument %1 (see --help)</translation>
    </message>
    <message>
        <source>--check needs a FILE (see --help)</source>
        <translation>--check needs a FILE (see --help)</translation>
    </message>
    <message>
        <source>send needs a FILE and at least one --to LINK or --to-file LINKS (see --help)</source>
        <translation>send needs a FILE and at least one --to LINK or --to-file LINKS (see --help)</translation>
    </message>
    <message>
        <source>--report is text or json</source>
        <translation>--report is text or json</translation>
    </message>
    <message>
        <source>--quiet and --progress cannot go together</source>
        <translation>--quiet and --progress cannot go together</translation>
    </message>
    <message>
        <source>%1 is not a standard baud rate (nearest: %2)</source>
        <translation>%1 is not a standard baud rate (nearest: %2)</translation>
    </message>
    <message>
        <source>bad link %1: use %2</source>
        <translation>bad link %1: use %2</translation>
    </message>
</context>
<context>
    <name>StatusText</name>
    <message>
        <source>the start command</source>
        <translation>the start command</translation>
    </message>
    <message>
        <source>the end command</source>
        <translation>the end command</translation>
    </message>
    <message>
        <source>record %1 of %2</source>
        <translation>record %1 of %2</translation>
    </message>
    <message>
        <source>record %1</source>
        <translation>record %1</translation>
    </message>
    <message>
        <source>th</source>
        <translation>th</translation>
    </message>
    <message>
        <source>st</source>
        <translation>st</translation>
    </message>
    <message>
        <source>nd</source>
        <translation>nd</translation>
    </message>
    <message>
        <source>rd</source>
        <translation>rd</translation>
    </message>
    <message>
        <source>the device sends text without line ends (a scale in continuous output mode, or the wrong port?)</source>
        <translation>the device sends text without line ends (a scale in continuous output mode, or the wrong port?)</translation>
    </message>
    <message>
        <source>No connection to the scale: press Stop</source>
        <translation>No connection to the scale: press Stop</translation>
    </message>
    <message>
        <source>Connection lost at %1: press Connect to go on, or Stop</source>
        <translation>Connection lost at %1: press Connect to go on, or Stop</translation>
    </message>
    <message>
        <source>The scale accepted the database</source>
        <translation>The scale accepted the database</translation>
    </message>
    <message>
        <source>Could not send %1 (%2): press Stop</source>
        <translation>Could not send %1 (%2): press Stop</translation>
    </message>
    <message>
        <source>Waiting for the scale&apos;s answer to %1: %2</source>
        <translation>Waiting for the scale&apos;s answer to %1: %2</translation>
    </message>
    <message>
        <source>The scale answered &quot;%1&quot; to the start command: it expects another database kind; press Stop</source>
        <translation>The scale answered &quot;%1&quot; to the start command: it expects another database kind; press Stop</translation>
    </message>
    <message>
        <source>The scale answered &quot;%1&quot; to the start command; press Stop</source>
        <translation>The scale answered &quot;%1&quot; to the start command; press Stop</translation>
    </message>
    <message>
        <source>The scale answered &quot;%1&quot; to the end command; press Stop</source>
        <translation>The scale answered &quot;%1&quot; to the end command; press Stop</translation>
    </message>
    <message>
        <source>Waiting %1 s for the scale&apos;s answer to %2</source>
        <translation>Waiting %1 s for the scale&apos;s answer to %2</translation>
    </message>
    <message>
        <source>The scale answered &quot;%1&quot; to %2: sending it again (%3 time)</source>
        <translation>The scale answered &quot;%1&quot; to %2: sending it again (%3 time)</translation>
    </message>
    <message>
        <source>Sending %1</source>
        <translation>Sending %1</translation>
    </message>
    <message>
        <source>Waiting at %1</source>
        <translation>Waiting at %1</translation>
    </message>
    <message>
        <source>Stopped at %1 after %2 s</source>
        <translation>Stopped at %1 after %2 s</translation>
    </message>
    <message>
        <source>Database could not be sent to scale: an empty record ended it after %1 s</source>
        <translation>Database could not be sent to scale: an empty record ended it after %1 s</translation>
    </message>
    <message>
        <source>Database was sent to scale in %1 s</source>
        <translation>Database was sent to scale in %1 s</translation>
    </message>
</context>
<context>
    <name>TApplication</name>
    <message>
        <source>Unknown error</source>
        <translation>Unknown error</translation>
    </message>
</context>
<context>
    <name>TCheckForm</name>
    <message>
        <source>Check before sending</source>
        <translation>Check before sending</translation>
    </message>
    <message>
        <source>The database has 1 finding; sent as it is, the scale may be left with part of it or wrong data:</source>
        <translation>The database has 1 finding; sent as it is, the scale may be left with part of it or wrong data:</translation>
    </message>
    <message>
        <source>The database has %1 findings; sent as it is, the scale may be left with part of it or wrong data:</source>
        <translation>The database has %1 findings; sent as it is, the scale may be left with part of it or wrong data:</translation>
    </message>
    <message>
        <source>and %1 more</source>
        <translation>and %1 more</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>Send anyway</source>
        <translation>Send anyway</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>TCloseQuestion</name>
    <message>
        <source>An upload is running (%1; %2 %3). Close anyway?</source>
        <translation>An upload is running (%1; %2 %3). Close anyway?</translation>
    </message>
    <message>
        <source>scale</source>
        <translation>scale</translation>
    </message>
    <message>
        <source>scales</source>
        <translation>scales</translation>
    </message>
</context>
<context>
    <name>TCommLog</name>
    <message>
        <source>sent</source>
        <translation>sent</translation>
    </message>
    <message>
        <source>received</source>
        <translation>received</translation>
    </message>
    <message>
        <source>reply</source>
        <translation>reply</translation>
    </message>
    <message>
        <source>event</source>
        <translation>event</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>Link</source>
        <translation>Link</translation>
    </message>
    <message>
        <source>Direction</source>
        <translation>Direction</translation>
    </message>
    <message>
        <source>Text</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>Hex</source>
        <translation>Hex</translation>
    </message>
    <message>
        <source>upload accepted</source>
        <translation>upload accepted</translation>
    </message>
    <message>
        <source>upload failed: the scale did not accept the database</source>
        <translation>upload failed: the scale did not accept the database</translation>
    </message>
    <message>
        <source>opened</source>
        <translation>opened</translation>
    </message>
    <message>
        <source>closed</source>
        <translation>closed</translation>
    </message>
    <message>
        <source>ignored: arrived before the resend</source>
        <translation>ignored: arrived before the resend</translation>
    </message>
    <message>
        <source>line ended before the resend: the scale may hold the front of a cut command</source>
        <translation>line ended before the resend: the scale may hold the front of a cut command</translation>
    </message>
    <message>
        <source>sleep allowed again</source>
        <translation>sleep allowed again</translation>
    </message>
    <message>
        <source>sleep held off while uploading </source>
        <translation>sleep held off while uploading </translation>
    </message>
    <message>
        <source>sleep could not be held off: </source>
        <translation>sleep could not be held off: </translation>
    </message>
    <message>
        <source>upload started: </source>
        <translation>upload started: </translation>
    </message>
    <message>
        <source>upload stopped at </source>
        <translation>upload stopped at </translation>
    </message>
    <message>
        <source>reconnect attempt </source>
        <translation>reconnect attempt </translation>
    </message>
    <message>
        <source>looking up </source>
        <translation>looking up </translation>
    </message>
    <message>
        <source>failed: </source>
        <translation>failed: </translation>
    </message>
    <message>
        <source>not sent: </source>
        <translation>not sent: </translation>
    </message>
    <message>
        <source>write failed: </source>
        <translation>write failed: </translation>
    </message>
    <message>
        <source>stopped after </source>
        <translation>stopped after </translation>
    </message>
    <message>
        <source>ignored </source>
        <translation>ignored </translation>
    </message>
    <message>
        <source>connecting</source>
        <translation>connecting</translation>
    </message>
    <message>
        <source>connected</source>
        <translation>connected</translation>
    </message>
    <message>
        <source>opened, local UDP port </source>
        <translation>opened, local UDP port </translation>
    </message>
    <message>
        <source>closing</source>
        <translation>closing</translation>
    </message>
</context>
<context>
    <name>TCommLogPanel</name>
    <message>
        <source>Communication log</source>
        <translation>Communication log</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>Save...</source>
        <translation>Save...</translation>
    </message>
    <message>
        <source>Hex</source>
        <translation>Hex</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;View</translation>
    </message>
    <message>
        <source>Communication &amp;log</source>
        <translation>Communication &amp;log</translation>
    </message>
    <message>
        <source>Save the communication log</source>
        <translation>Save the communication log</translation>
    </message>
    <message>
        <source>text files (*.txt);;all files (*)</source>
        <translation>text files (*.txt);;all files (*)</translation>
    </message>
    <message>
        <source>The communication log could not be saved to %1: %2</source>
        <translation>The communication log could not be saved to %1: %2</translation>
    </message>
</context>
<context>
    <name>TConnectionForm</name>
    <message>
        <source>Ustawienia połączenia</source>
        <translation>Ustawienia połączenia</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>Apply</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source> Connection:</source>
        <translation> Connection:</translation>
    </message>
    <message>
        <source>Serial port</source>
        <translation>Serial port</translation>
    </message>
    <message>
        <source> Ustawienia połączenia ethernetowego: </source>
        <translation> Ustawienia połączenia ethernetowego: </translation>
    </message>
    <message>
        <source>Adres IP:</source>
        <translation>Adres IP:</translation>
    </message>
    <message>
        <source>Port:</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>Protokół</source>
        <translation>Protokół</translation>
    </message>
    <message>
        <source> Serial port settings: </source>
        <translation> Serial port settings: </translation>
    </message>
    <message>
        <source>COM Port:</source>
        <translation>COM Port:</translation>
    </message>
    <message>
        <source>Baud rate:</source>
        <translation>Baud rate:</translation>
    </message>
    <message>
        <source>bps</source>
        <translation>bps</translation>
    </message>
    <message>
        <source>Advanced options</source>
        <translation>Advanced options</translation>
    </message>
</context>
<context>
    <name>TFinding</name>
    <message>
        <source>1 row</source>
        <translation>1 row</translation>
    </message>
    <message>
        <source>%1 rows</source>
        <translation>%1 rows</translation>
    </message>
    <message>
        <source>%1 inside the record (field %2); </source>
        <translation>%1 inside the record (field %2); </translation>
    </message>
    <message>
        <source> and </source>
        <translation> and </translation>
    </message>
    <message>
        <source>over serial or TCP the scale takes it as the end of the command</source>
        <translation>over serial or TCP the scale takes it as the end of the command</translation>
    </message>
    <message>
        <source>over UDP the scale takes it as the end of the text</source>
        <translation>over UDP the scale takes it as the end of the text</translation>
    </message>
    <message>
        <source>the scale takes them as the end of the command</source>
        <translation>the scale takes them as the end of the command</translation>
    </message>
    <message>
        <source>control byte %1 in field %2</source>
        <translation>control byte %1 in field %2</translation>
    </message>
    <message>
        <source>%1 control bytes, the first %2 in field %3</source>
        <translation>%1 control bytes, the first %2 in field %3</translation>
    </message>
    <message>
        <source>; the scale gets it as it is (below 0x20 only tab belongs in a record)</source>
        <translation>; the scale gets it as it is (below 0x20 only tab belongs in a record)</translation>
    </message>
    <message>
        <source>; the scale gets them as they are (below 0x20 only tab belongs in a record)</source>
        <translation>; the scale gets them as they are (below 0x20 only tab belongs in a record)</translation>
    </message>
    <message>
        <source>empty record; the upload would stop there with &quot;Database could not be sent to scale.&quot;</source>
        <translation>empty record; the upload would stop there with &quot;Database could not be sent to scale.&quot;</translation>
    </message>
    <message>
        <source> and not send the %1 after it</source>
        <translation> and not send the %1 after it</translation>
    </message>
    <message>
        <source>%1 bytes; its UDP command is %2 bytes, over the %3 a UDP command holds</source>
        <translation>%1 bytes; its UDP command is %2 bytes, over the %3 a UDP command holds</translation>
    </message>
    <message>
        <source>%1 %2 where the widest row has %3; it is sent padded with %4</source>
        <translation>%1 %2 where the widest row has %3; it is sent padded with %4</translation>
    </message>
    <message>
        <source>field</source>
        <translation>field</translation>
    </message>
    <message>
        <source>fields</source>
        <translation>fields</translation>
    </message>
    <message>
        <source>1 empty field</source>
        <translation>1 empty field</translation>
    </message>
    <message>
        <source>%1 empty fields</source>
        <translation>%1 empty fields</translation>
    </message>
    <message>
        <source>UTF-8 text, while %1 in another encoding (the first is row %2); the grid and the scale show it garbled</source>
        <translation>UTF-8 text, while %1 in another encoding (the first is row %2); the grid and the scale show it garbled</translation>
    </message>
    <message>
        <source>not UTF-8, while %1 UTF-8 text (the first is row %2); one of the two shows garbled on the scale</source>
        <translation>not UTF-8, while %1 UTF-8 text (the first is row %2); one of the two shows garbled on the scale</translation>
    </message>
    <message>
        <source>1 row is</source>
        <translation>1 row is</translation>
    </message>
    <message>
        <source>%1 rows are</source>
        <translation>%1 rows are</translation>
    </message>
    <message>
        <source>%1 bytes, over the %2 MiB a record may have</source>
        <translation>%1 bytes, over the %2 MiB a record may have</translation>
    </message>
    <message>
        <source>no database opened: the grid&apos;s 1 empty row would go to the scale as 1 empty record</source>
        <translation>no database opened: the grid&apos;s 1 empty row would go to the scale as 1 empty record</translation>
    </message>
    <message>
        <source>no database opened: the grid&apos;s %1 empty rows would go to the scale as %1 empty records</source>
        <translation>no database opened: the grid&apos;s %1 empty rows would go to the scale as %1 empty records</translation>
    </message>
    <message>
        <source>row %1: </source>
        <translation>row %1: </translation>
    </message>
</context>
<context>
    <name>TForm1</name>
    <message>
        <source>user defined</source>
        <translation>user defined</translation>
    </message>
    <message>
        <source> Scale database v%1</source>
        <translation> Scale database v%1</translation>
    </message>
    <message>
        <source>Database could not be sent to scale.</source>
        <translation>Database could not be sent to scale.</translation>
    </message>
    <message>
        <source>Database was sent to scale.</source>
        <translation>Database was sent to scale.</translation>
    </message>
    <message>
        <source>Failure</source>
        <translation>Failure</translation>
    </message>
    <message>
        <source>Success</source>
        <translation>Success</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>&amp;Open</source>
        <translation>&amp;Open</translation>
    </message>
    <message>
        <source>&amp;Connection</source>
        <translation>&amp;Connection</translation>
    </message>
    <message>
        <source>csv files (*.csv)</source>
        <translation>csv files (*.csv)</translation>
    </message>
    <message>
        <source>all files (*.*)</source>
        <translation>all files (*.*)</translation>
    </message>
    <message>
        <source>Database</source>
        <translation>Database</translation>
    </message>
    <message>
        <source>Upload progress</source>
        <translation>Upload progress</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>Send database</source>
        <translation>Send database</translation>
    </message>
    <message>
        <source> Device type: </source>
        <translation> Device type: </translation>
    </message>
    <message>
        <source>standard scale</source>
        <translation>standard scale</translation>
    </message>
    <message>
        <source>scale with QD-58</source>
        <translation>scale with QD-58</translation>
    </message>
    <message>
        <source> Database kind: </source>
        <translation> Database kind: </translation>
    </message>
    <message>
        <source>&amp;Upload</source>
        <translation>&amp;Upload</translation>
    </message>
    <message>
        <source>&amp;Connect/Disconnect</source>
        <translation>&amp;Connect/Disconnect</translation>
    </message>
    <message>
        <source>&amp;Send database/Stop</source>
        <translation>&amp;Send database/Stop</translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation>Disconnect</translation>
    </message>
    <message>
        <source> connected</source>
        <translation> connected</translation>
    </message>
    <message>
        <source> disconnected</source>
        <translation> disconnected</translation>
    </message>
    <message>
        <source>Selected COM port does not exist or is occupied by other software</source>
        <translation>Selected COM port does not exist or is occupied by other software</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Open &amp;Recent</source>
        <translation>Open &amp;Recent</translation>
    </message>
    <message>
        <source>Clear list</source>
        <translation>Clear list</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>&amp;Quit</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>&amp;About scaledb</source>
        <translation>&amp;About scaledb</translation>
    </message>
    <message>
        <source>About &amp;Qt</source>
        <translation>About &amp;Qt</translation>
    </message>
    <message>
        <source>(none)</source>
        <translation>(none)</translation>
    </message>
    <message>
        <source>&lt;h3&gt;scaledb %1&lt;/h3&gt;&lt;p&gt;Sends product, user, label and status databases to shop scales, record by record, over a serial port, TCP or UDP.&lt;/p&gt;&lt;p&gt;Licence: MIT&lt;/p&gt;&lt;p&gt;Built with Qt %2, running on Qt %3.&lt;/p&gt;</source>
        <translation>&lt;h3&gt;scaledb %1&lt;/h3&gt;&lt;p&gt;Sends product, user, label and status databases to shop scales, record by record, over a serial port, TCP or UDP.&lt;/p&gt;&lt;p&gt;Licence: MIT&lt;/p&gt;&lt;p&gt;Built with Qt %2, running on Qt %3.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>About scaledb</source>
        <translation>About scaledb</translation>
    </message>
    <message>
        <source>%1 files dropped: opened the first, %2</source>
        <translation>%1 files dropped: opened the first, %2</translation>
    </message>
    <message>
        <source>Sending a database to a scale</source>
        <translation>Sending a database to a scale</translation>
    </message>
</context>
<context>
    <name>TScaleDialog</name>
    <message>
        <source>Add a scale</source>
        <translation>Add a scale</translation>
    </message>
    <message>
        <source>&amp;Link:</source>
        <translation>&amp;Link:</translation>
    </message>
    <message>
        <source>&amp;Name (optional):</source>
        <translation>&amp;Name (optional):</translation>
    </message>
    <message>
        <source>Type %1</source>
        <translation>Type %1</translation>
    </message>
</context>
<context>
    <name>TScalesModel</name>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Link</source>
        <translation>Link</translation>
    </message>
    <message>
        <source>State</source>
        <translation>State</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>Progress</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>reconnecting (attempt %1)</source>
        <translation>reconnecting (attempt %1)</translation>
    </message>
    <message>
        <source>connecting</source>
        <translation>connecting</translation>
    </message>
    <message>
        <source>connected</source>
        <translation>connected</translation>
    </message>
    <message>
        <source>sending record %1 of %2</source>
        <translation>sending record %1 of %2</translation>
    </message>
    <message>
        <source>idle</source>
        <translation>idle</translation>
    </message>
    <message>
        <source>accepted in </source>
        <translation>accepted in </translation>
    </message>
    <message>
        <source>interrupted</source>
        <translation>interrupted</translation>
    </message>
    <message>
        <source>failed: </source>
        <translation>failed: </translation>
    </message>
    <message>
        <source>%1 of %2 %3 accepted the database</source>
        <translation>%1 of %2 %3 accepted the database</translation>
    </message>
    <message>
        <source>scale</source>
        <translation>scale</translation>
    </message>
    <message>
        <source>scales</source>
        <translation>scales</translation>
    </message>
    <message>
        <source> and %1 more</source>
        <translation> and %1 more</translation>
    </message>
    <message>
        <source>; %1 failed: %2</source>
        <translation>; %1 failed: %2</translation>
    </message>
    <message>
        <source>; %1 interrupted</source>
        <translation>; %1 interrupted</translation>
    </message>
</context>
<context>
    <name>TScalesPanel</name>
    <message>
        <source>Scales</source>
        <translation>Scales</translation>
    </message>
    <message>
        <source>line %1: %2</source>
        <translation>line %1: %2</translation>
    </message>
    <message>
        <source>1 line of %1 could not be read and is kept as it is: %2</source>
        <translation>1 line of %1 could not be read and is kept as it is: %2</translation>
    </message>
    <message>
        <source>%1 lines of %2 could not be read and are kept as they are: %3</source>
        <translation>%1 lines of %2 could not be read and are kept as they are: %3</translation>
    </message>
    <message>
        <source>; and %1 more</source>
        <translation>; and %1 more</translation>
    </message>
    <message>
        <source>Send to all scales</source>
        <translation>Send to all scales</translation>
    </message>
    <message>
        <source>Send to selected</source>
        <translation>Send to selected</translation>
    </message>
    <message>
        <source>Send again to failed</source>
        <translation>Send again to failed</translation>
    </message>
    <message>
        <source>Save report…</source>
        <translation>Save report…</translation>
    </message>
    <message>
        <source>Add…</source>
        <translation>Add…</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>Open list…</source>
        <translation>Open list…</translation>
    </message>
    <message>
        <source>Save list…</source>
        <translation>Save list…</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;View</translation>
    </message>
    <message>
        <source>&amp;Scales</source>
        <translation>&amp;Scales</translation>
    </message>
    <message>
        <source>Send to a&amp;ll scales/Stop all</source>
        <translation>Send to a&amp;ll scales/Stop all</translation>
    </message>
    <message>
        <source>Send to s&amp;elected</source>
        <translation>Send to s&amp;elected</translation>
    </message>
    <message>
        <source>Send again to &amp;failed</source>
        <translation>Send again to &amp;failed</translation>
    </message>
    <message>
        <source>Save re&amp;port…</source>
        <translation>Save re&amp;port…</translation>
    </message>
    <message>
        <source>&amp;Add…</source>
        <translation>&amp;Add…</translation>
    </message>
    <message>
        <source>&amp;Remove</source>
        <translation>&amp;Remove</translation>
    </message>
    <message>
        <source>&amp;Open list…</source>
        <translation>&amp;Open list…</translation>
    </message>
    <message>
        <source>&amp;Save list…</source>
        <translation>&amp;Save list…</translation>
    </message>
    <message>
        <source>Stop all</source>
        <translation>Stop all</translation>
    </message>
    <message>
        <source>Open a list of scales</source>
        <translation>Open a list of scales</translation>
    </message>
    <message>
        <source>text files (*.txt);;all files (*)</source>
        <translation>text files (*.txt);;all files (*)</translation>
    </message>
    <message>
        <source>Save the list of scales</source>
        <translation>Save the list of scales</translation>
    </message>
    <message>
        <source>Save the report</source>
        <translation>Save the report</translation>
    </message>
    <message>
        <source>JSON files (*.json);;all files (*)</source>
        <translation>JSON files (*.json);;all files (*)</translation>
    </message>
    <message>
        <source>; it is left as it is (Save list… writes the list elsewhere)</source>
        <translation>; it is left as it is (Save list… writes the list elsewhere)</translation>
    </message>
    <message>
        <source>%1 cannot be read as a list of scales</source>
        <translation>%1 cannot be read as a list of scales</translation>
    </message>
    <message>
        <source>The list of scales could not be saved to %1</source>
        <translation>The list of scales could not be saved to %1</translation>
    </message>
    <message>
        <source>The report could not be saved to %1</source>
        <translation>The report could not be saved to %1</translation>
    </message>
    <message>
        <source>Sending to 1 scale…</source>
        <translation>Sending to 1 scale…</translation>
    </message>
    <message>
        <source>Sending to %1 scales…</source>
        <translation>Sending to %1 scales…</translation>
    </message>
</context>
<context>
    <name>TStatusLine</name>
    <message>
        <source>Status line</source>
        <translation>Status line</translation>
    </message>
</context>
<context>
    <name>cport</name>
    <message>
        <source>RS-232 settings</source>
        <translation>RS-232 settings</translation>
    </message>
    <message>
        <source> Settings: </source>
        <translation> Settings: </translation>
    </message>
    <message>
        <source>Port:</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>Baud rate:</source>
        <translation>Baud rate:</translation>
    </message>
    <message>
        <source>Data bits:</source>
        <translation>Data bits:</translation>
    </message>
    <message>
        <source>Stop bits:</source>
        <translation>Stop bits:</translation>
    </message>
    <message>
        <source>Parity:</source>
        <translation>Parity:</translation>
    </message>
    <message>
        <source>Flow control:</source>
        <translation>Flow control:</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>Apply</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Zastosuj</source>
        <translation>Apply</translation>
    </message>
    <message>
        <source>Apply settings</source>
        <translation>Apply settings</translation>
    </message>
    <message>
        <source>Anuluj</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Cancel settings</source>
        <translation>Cancel settings</translation>
    </message>
    <message>
        <source>Unable to open com port</source>
        <translation>Unable to open com port</translation>
    </message>
    <message>
        <source>WriteFile function failed</source>
        <translation>WriteFile function failed</translation>
    </message>
    <message>
        <source>ReadFile function failed</source>
        <translation>ReadFile function failed</translation>
    </message>
    <message>
        <source>Invalid Async parameter</source>
        <translation>Invalid Async parameter</translation>
    </message>
    <message>
        <source>PurgeComm function failed</source>
        <translation>PurgeComm function failed</translation>
    </message>
    <message>
        <source>Unable to get async status</source>
        <translation>Unable to get async status</translation>
    </message>
    <message>
        <source>SetCommState function failed</source>
        <translation>SetCommState function failed</translation>
    </message>
    <message>
        <source>SetCommTimeouts failed</source>
        <translation>SetCommTimeouts failed</translation>
    </message>
    <message>
        <source>SetupComm function failed</source>
        <translation>SetupComm function failed</translation>
    </message>
    <message>
        <source>ClearCommError function failed</source>
        <translation>ClearCommError function failed</translation>
    </message>
    <message>
        <source>GetCommModemStatus function failed</source>
        <translation>GetCommModemStatus function failed</translation>
    </message>
    <message>
        <source>EscapeCommFunction function failed</source>
        <translation>EscapeCommFunction function failed</translation>
    </message>
    <message>
        <source>TransmitCommChar function failed</source>
        <translation>TransmitCommChar function failed</translation>
    </message>
    <message>
        <source>Cannot set property while connected</source>
        <translation>Cannot set property while connected</translation>
    </message>
    <message>
        <source>EnumPorts function failed</source>
        <translation>EnumPorts function failed</translation>
    </message>
    <message>
        <source>Failed to store settings</source>
        <translation>Failed to store settings</translation>
    </message>
    <message>
        <source>Failed to load settings</source>
        <translation>Failed to load settings</translation>
    </message>
    <message>
        <source>Link (un)registration failed</source>
        <translation>Link (un)registration failed</translation>
    </message>
    <message>
        <source>Cannot change led state if ComPort is selected</source>
        <translation>Cannot change led state if ComPort is selected</translation>
    </message>
    <message>
        <source>Cannot wait for event if event thread is created</source>
        <translation>Cannot wait for event if event thread is created</translation>
    </message>
    <message>
        <source>WaitForEvent method failed</source>
        <translation>WaitForEvent method failed</translation>
    </message>
    <message>
        <source>A component is linked to OnRxBuf event</source>
        <translation>A component is linked to OnRxBuf event</translation>
    </message>
    <message>
        <source>Registry error</source>
        <translation>Registry error</translation>
    </message>
</context>
</TS>
