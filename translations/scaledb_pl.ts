<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="pl">
<context>
    <name>DatabaseKinds</name>
    <message>
        <source>product database</source>
        <translation>baza danych towarów</translation>
    </message>
    <message>
        <source>user database</source>
        <translation>baza danych użytkowników</translation>
    </message>
    <message>
        <source>label database</source>
        <translation>baza danych etykiet</translation>
    </message>
    <message>
        <source>status database</source>
        <translation>baza danych statusów</translation>
    </message>
</context>
<context>
    <name>Progress</name>
    <message>
        <source>, %1 records/s</source>
        <translation>, %1 rekordów/s</translation>
    </message>
    <message>
        <source>, %1 left</source>
        <translation>, zostało %1</translation>
    </message>
    <message>
        <source>accepted</source>
        <translation>przyjęta</translation>
    </message>
    <message>
        <source>failed: </source>
        <translation>nieudane: </translation>
    </message>
    <message>
        <source>connected</source>
        <translation>połączono</translation>
    </message>
    <message>
        <source>looking up</source>
        <translation>wyszukiwanie adresu</translation>
    </message>
    <message>
        <source>%1 %2 %3 of %4</source>
        <translation>%1 %2 %3 z %4</translation>
    </message>
    <message>
        <source>, looking up</source>
        <translation>, wyszukiwanie adresu</translation>
    </message>
    <message>
        <source>, waiting</source>
        <translation>, oczekiwanie</translation>
    </message>
    <message>
        <source>%1 %2 of %3 records, %4 of %5 scales done, %6 failed</source>
        <translation>%1 %2 z %3 rekordów, wagi gotowe: %4 z %5, nieudane: %6</translation>
    </message>
    <message>
        <source>, %1 looking up</source>
        <translation>, wyszukiwanie adresu: %1</translation>
    </message>
</context>
<context>
    <name>ScaleJob</name>
    <message>
        <source>tcp://HOST:PORT, udp://ADDRESS:PORT (four numbers 0-255) or serial:DEVICE[@BAUD]</source>
        <translation>tcp://HOST:PORT, udp://ADRES:PORT (cztery liczby 0-255) lub serial:URZĄDZENIE[@PRĘDKOŚĆ]</translation>
    </message>
</context>
<context>
    <name>ScaleKeys</name>
    <message>
        <source>%1 and %2 are the same scale</source>
        <translation>%1 i %2 to ta sama waga</translation>
    </message>
    <message>
        <source>%1 and %2 are one address over UDP: its replies could not be told apart</source>
        <translation>%1 i %2 to jeden adres UDP: nie dałoby się rozróżnić odpowiedzi</translation>
    </message>
</context>
<context>
    <name>SendCommand</name>
    <message>
        <source>cannot write %1: %2</source>
        <translation>nie można zapisać %1: %2</translation>
    </message>
    <message>
        <source>%1 is not a regular file</source>
        <translation>%1 nie jest zwykłym plikiem</translation>
    </message>
    <message>
        <source>nothing found</source>
        <translation>nic nie znaleziono</translation>
    </message>
    <message>
        <source>1 finding</source>
        <translation>1 uwaga</translation>
    </message>
    <message>
        <source>%1 findings</source>
        <translation>uwagi: %1</translation>
    </message>
    <message>
        <source>standard output took nothing for %1 s after the signal</source>
        <translation>standardowe wyjście nie przyjęło niczego przez %1 s po sygnale</translation>
    </message>
    <message>
        <source>scaledb: cannot write the report: %1
</source>
        <translation>scaledb: nie można zapisać raportu: %1
</translation>
    </message>
    <message>
        <source>out of memory loading %1</source>
        <translation>brak pamięci przy wczytywaniu %1</translation>
    </message>
    <message>
        <source>warning: </source>
        <translation>ostrzeżenie: </translation>
    </message>
    <message>
        <source>not sent: %1 (--strict)</source>
        <translation>nie wysłano: %1 (--strict)</translation>
    </message>
    <message>
        <source>not sent: </source>
        <translation>nie wysłano: </translation>
    </message>
    <message>
        <source>the open-file limit allows %1 uploads at once: running them --jobs %1</source>
        <translation>limit otwartych plików pozwala na %1 wysyłek naraz: wysyłanie z --jobs %1</translation>
    </message>
    <message>
        <source>Sending a database to a scale</source>
        <translation>Wysyłanie bazy danych do wagi</translation>
    </message>
    <message>
        <source>Sending a database to %1 scales</source>
        <translation>Wysyłanie bazy danych do wag (%1)</translation>
    </message>
    <message>
        <source>cannot list serial devices in %1: %2</source>
        <translation>nie można wyliczyć portów szeregowych w %1: %2</translation>
    </message>
    <message>
        <source>no serial devices found</source>
        <translation>nie znaleziono portów szeregowych</translation>
    </message>
    <message>
        <source> (see --help)</source>
        <translation> (zob. --help)</translation>
    </message>
    <message>
        <source>unexpected argument %1 (see --help)</source>
        <translation>nieoczekiwany argument %1 (zob. --help)</translation>
    </message>
    <message>
        <source>unknown command %1 (see --help)</source>
        <translation>nieznane polecenie %1 (zob. --help)</translation>
    </message>
    <message>
        <source>out of memory</source>
        <translation>brak pamięci</translation>
    </message>
</context>
<context>
    <name>SendOptions</name>
    <message>
        <source>A scale to upload to; repeat for several.</source>
        <translation>Waga, do której wysłać bazę danych; powtórz dla kilku wag.</translation>
    </message>
    <message>
        <source>Scales to upload to, one LINK a line (&apos;#&apos; comments); LINKS - is standard input.</source>
        <translation>Wagi, do których wysłać bazę danych, jedno ŁĄCZE w wierszu (&apos;#&apos; to komentarz); LINKS - to standardowe wejście.</translation>
    </message>
    <message>
        <source>The device type: standard or qd58.</source>
        <translation>Typ urządzenia: standard lub qd58.</translation>
    </message>
    <message>
        <source>The database kind: product or user (standard); label, user or status (qd58).</source>
        <translation>Rodzaj bazy danych: product lub user (standard); label, user lub status (qd58).</translation>
    </message>
    <message>
        <source>the type&apos;s first, product or label</source>
        <translation>pierwszy rodzaj typu, product lub label</translation>
    </message>
    <message>
        <source>Ends an upload whose command gets no reply for SECONDS.</source>
        <translation>Kończy wysyłanie, gdy polecenie nie dostaje odpowiedzi przez SECONDS sekund.</translation>
    </message>
    <message>
        <source>Ends an upload whose link is not up after SECONDS.</source>
        <translation>Kończy wysyłanie, gdy połączenie nie powstanie w ciągu SECONDS sekund.</translation>
    </message>
    <message>
        <source>Ends a scale&apos;s upload when it answers one command wrongly N times in a row.</source>
        <translation>Kończy wysyłanie do wagi, gdy na jedno polecenie odpowie błędnie N razy z rzędu.</translation>
    </message>
    <message>
        <source>Tries a link lost during an upload again every 2 s for up to SECONDS, then sends the awaited command again (0: the loss ends the upload).</source>
        <translation>Ponawia utracone w czasie wysyłania połączenie co 2 s przez najwyżej SECONDS sekund, potem wysyła oczekujące polecenie ponownie (0: utrata połączenia kończy wysyłanie).</translation>
    </message>
    <message>
        <source>At most N uploads at once.</source>
        <translation>Najwyżej N wysyłek naraz.</translation>
    </message>
    <message>
        <source>all at once</source>
        <translation>wszystkie naraz</translation>
    </message>
    <message>
        <source>The local UDP port every UDP scale answers to (0 takes any free port).</source>
        <translation>Lokalny port UDP, na który odpowiada każda waga UDP (0: dowolny wolny port).</translation>
    </message>
    <message>
        <source>The outcome on standard output as text or json (one object per scale).</source>
        <translation>Wynik na standardowym wyjściu jako text lub json (jeden obiekt na wagę).</translation>
    </message>
    <message>
        <source>Writes every command, reply and link event to FILE, one a line.</source>
        <translation>Zapisuje każde polecenie, odpowiedź i zdarzenie połączenia do FILE, jedno w wierszu.</translation>
    </message>
    <message>
        <source>Only checks FILE: exit 0 when nothing is found, 1 otherwise; no link needed (a udp:// one adds the UDP command length).</source>
        <translation>Tylko sprawdza FILE: kod wyjścia 0, gdy nic nie znaleziono, w przeciwnym razie 1; połączenie nie jest potrzebne (łącze udp:// dodaje sprawdzenie długości polecenia UDP).</translation>
    </message>
    <message>
        <source>Sends nothing when the check finds something (exit 1).</source>
        <translation>Nie wysyła niczego, gdy sprawdzenie coś znajdzie (kod wyjścia 1).</translation>
    </message>
    <message>
        <source>No progress on standard error, only the report.</source>
        <translation>Bez postępu na standardowym wyjściu błędów, tylko raport.</translation>
    </message>
    <message>
        <source>Progress bars even when standard error is not a terminal.</source>
        <translation>Paski postępu, także gdy standardowe wyjście błędów nie jest terminalem.</translation>
    </message>
    <message>
        <source>Lets the system sleep during the upload (by default it is held off over D-Bus).</source>
        <translation>Pozwala systemowi usnąć w czasie wysyłania (domyślnie uśpienie jest wstrzymywane przez D-Bus).</translation>
    </message>
    <message>
        <source>Prints this help.</source>
        <translation>Wypisuje tę pomoc.</translation>
    </message>
    <message>
        <source>Prints the program&apos;s version.</source>
        <translation>Wypisuje wersję programu.</translation>
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
        <translation>Użycie: scaledb [--scales LIST] [FILE]
        scaledb send FILE --to LINK [--to LINK ...] [opcje]
        scaledb send FILE --to-file LINKS [opcje]
        scaledb send FILE --check [--to LINK ...]
        scaledb ports
        scaledb --help | --version

Bez argumentów lub z plikiem FILE otwiera okno (opcje samego Qt, np. -platform
lub -style, mogą stać przed FILE lub po nim). --scales otwiera panel Wagi z
wagami z listy LIST (plik łączy, po każdym ewentualnie nazwa).
send wysyła bazę danych FILE do każdej wagi podanej w --to lub wymienionej w
--to-file, do wszystkich naraz (lub po --jobs naraz), i wypisuje wynik dla każdej.
LINK to tcp://HOST:PORT, udp://ADRES:PORT lub serial:URZĄDZENIE[@PRĘDKOŚĆ]
(prędkość 9600, gdy nie podano). Dwa łącza do tej samej wagi są odrzucane.
FILE jest najpierw sprawdzany; to, co znajdzie sprawdzenie, trafia jako
ostrzeżenia na standardowe wyjście błędów.
W terminalu postęp to pasek dla każdej wagi lub jeden pasek dla większej liczby
wag; poza terminalem wiersz na każde zdarzenie wagi.
ports wypisuje porty szeregowe, jeden w wierszu, rozdzielone tabulatorem: nazwa w
jądrze, stała ścieżka /dev/serial/by-id, produkt USB, numer seryjny (puste, gdy
nieznane).
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
SIGINT, SIGTERM lub SIGHUP kończy każde wysyłanie tam, gdzie stoi, podaje dla
każdej wagi &quot;interrupted at record K of R&quot; i kończy z kodem 130 (SIGINT) lub 143;
drugi SIGINT kończy od razu.

Kod wyjścia: 0 każda waga przyjęła bazę danych, 1 któraś nie przyjęła albo raportu
lub dziennika nie dało się zapisać w całości, 2 błędne argumenty.
Z --check: 0 nic nie znaleziono, 1 coś znaleziono, 2 błędne argumenty.

Przykłady:
  scaledb send products.csv --to tcp://192.168.1.20:4001
  scaledb send products.csv --to serial:/dev/ttyUSB0@9600 --kind user
  scaledb send labels.csv --device qd58 --to-file scales.txt --jobs 20 --report json
  scaledb send products.csv --check --to udp://192.168.1.30:1001
  scaledb ports
</translation>
    </message>
    <message>
        <source> Default: %1.</source>
        <translation> Domyślnie: %1.</translation>
    </message>
    <message>
        <source>cannot read %1: %2</source>
        <translation>nie można odczytać %1: %2</translation>
    </message>
    <message>
        <source>%1 holds over 16 MiB: not a list of links</source>
        <translation>%1 ma ponad 16 MiB: to nie jest lista łączy</translation>
    </message>
    <message>
        <source>--timeout needs a number of seconds</source>
        <translation>--timeout wymaga liczby sekund</translation>
    </message>
    <message>
        <source>--connect-timeout needs a number of seconds</source>
        <translation>--connect-timeout wymaga liczby sekund</translation>
    </message>
    <message>
        <source>--retries needs a number from 1</source>
        <translation>--retries wymaga liczby od 1</translation>
    </message>
    <message>
        <source>--reconnect needs a number of seconds (0: none)</source>
        <translation>--reconnect wymaga liczby sekund (0: bez ponawiania)</translation>
    </message>
    <message>
        <source>--jobs needs a number from 1</source>
        <translation>--jobs wymaga liczby od 1</translation>
    </message>
    <message>
        <source>--udp-port needs a port number (0: any)</source>
        <translation>--udp-port wymaga numeru portu (0: dowolny)</translation>
    </message>
    <message>
        <source>--device is standard or qd58</source>
        <translation>--device to standard lub qd58</translation>
    </message>
    <message>
        <source>--kind %1 is not offered by device %2 (%3)</source>
        <translation>urządzenie %2 nie obsługuje --kind %1 (%3)</translation>
    </message>
    <message>
        <source>
Options:
</source>
        <translation>
Opcje:
</translation>
    </message>
    <message>
        <source>unexpected argument %1 (see --help)</source>
        <translation>nieoczekiwany argument %1 (zob. --help)</translation>
    </message>
    <message>
        <source>--check needs a FILE (see --help)</source>
        <translation>--check wymaga pliku FILE (zob. --help)</translation>
    </message>
    <message>
        <source>send needs a FILE and at least one --to LINK or --to-file LINKS (see --help)</source>
        <translation>send wymaga pliku FILE i co najmniej jednego --to LINK lub --to-file LINKS (zob. --help)</translation>
    </message>
    <message>
        <source>--report is text or json</source>
        <translation>--report to text lub json</translation>
    </message>
    <message>
        <source>--quiet and --progress cannot go together</source>
        <translation>--quiet i --progress wykluczają się</translation>
    </message>
    <message>
        <source>%1 is not a standard baud rate (nearest: %2)</source>
        <translation>%1 nie jest standardową prędkością (najbliższa: %2)</translation>
    </message>
    <message>
        <source>bad link %1: use %2</source>
        <translation>błędne łącze %1: użyj %2</translation>
    </message>
</context>
<context>
    <name>StatusText</name>
    <message>
        <source>the start command</source>
        <translation>polecenie początku</translation>
    </message>
    <message>
        <source>the end command</source>
        <translation>polecenie końca</translation>
    </message>
    <message>
        <source>record %1 of %2</source>
        <translation>rekord %1 z %2</translation>
    </message>
    <message>
        <source>record %1</source>
        <translation>rekord %1</translation>
    </message>
    <message>
        <source>th</source>
        <translation>.</translation>
    </message>
    <message>
        <source>st</source>
        <translation>.</translation>
    </message>
    <message>
        <source>nd</source>
        <translation>.</translation>
    </message>
    <message>
        <source>rd</source>
        <translation>.</translation>
    </message>
    <message>
        <source>the device sends text without line ends (a scale in continuous output mode, or the wrong port?)</source>
        <translation>urządzenie wysyła tekst bez końców wierszy (waga w trybie ciągłego wysyłania albo zły port?)</translation>
    </message>
    <message>
        <source>No connection to the scale: press Stop</source>
        <translation>Brak połączenia z wagą: naciśnij Zatrzymaj</translation>
    </message>
    <message>
        <source>Connection lost at %1: press Connect to go on, or Stop</source>
        <translation>Połączenie utracone przy: %1; naciśnij Połącz, aby kontynuować, lub Zatrzymaj</translation>
    </message>
    <message>
        <source>The scale accepted the database</source>
        <translation>Waga przyjęła bazę danych</translation>
    </message>
    <message>
        <source>Could not send %1 (%2): press Stop</source>
        <translation>Nie można wysłać: %1 (%2); naciśnij Zatrzymaj</translation>
    </message>
    <message>
        <source>Waiting for the scale&apos;s answer to %1: %2</source>
        <translation>Oczekiwanie na odpowiedź wagi na: %1; %2</translation>
    </message>
    <message>
        <source>The scale answered &quot;%1&quot; to the start command: it expects another database kind; press Stop</source>
        <translation>Waga odpowiedziała &quot;%1&quot; na polecenie początku: oczekuje innego rodzaju bazy danych; naciśnij Zatrzymaj</translation>
    </message>
    <message>
        <source>The scale answered &quot;%1&quot; to the start command; press Stop</source>
        <translation>Waga odpowiedziała &quot;%1&quot; na polecenie początku; naciśnij Zatrzymaj</translation>
    </message>
    <message>
        <source>The scale answered &quot;%1&quot; to the end command; press Stop</source>
        <translation>Waga odpowiedziała &quot;%1&quot; na polecenie końca; naciśnij Zatrzymaj</translation>
    </message>
    <message>
        <source>Waiting %1 s for the scale&apos;s answer to %2</source>
        <translation>Oczekiwanie %1 s na odpowiedź wagi na: %2</translation>
    </message>
    <message>
        <source>The scale answered &quot;%1&quot; to %2: sending it again (%3 time)</source>
        <translation>Waga odpowiedziała &quot;%1&quot; na: %2; wysyłanie ponownie (%3 raz)</translation>
    </message>
    <message>
        <source>Sending %1</source>
        <translation>Wysyłanie: %1</translation>
    </message>
    <message>
        <source>Waiting at %1</source>
        <translation>Oczekiwanie przy: %1</translation>
    </message>
    <message>
        <source>Stopped at %1 after %2 s</source>
        <translation>Zatrzymano przy: %1 po %2 s</translation>
    </message>
    <message>
        <source>Database could not be sent to scale: an empty record ended it after %1 s</source>
        <translation>Nie udało się wysłać bazy danych do wagi: pusty rekord zakończył wysyłanie po %1 s</translation>
    </message>
    <message>
        <source>Database was sent to scale in %1 s</source>
        <translation>Baza danych została wysłana do wagi w %1 s</translation>
    </message>
</context>
<context>
    <name>TApplication</name>
    <message>
        <source>Unknown error</source>
        <translation>Nieznany błąd</translation>
    </message>
</context>
<context>
    <name>TCheckForm</name>
    <message>
        <source>Check before sending</source>
        <translation>Sprawdzenie przed wysłaniem</translation>
    </message>
    <message>
        <source>The database has 1 finding; sent as it is, the scale may be left with part of it or wrong data:</source>
        <translation>Baza danych ma 1 uwagę; wysłana bez zmian może zostawić w wadze tylko jej część lub błędne dane:</translation>
    </message>
    <message>
        <source>The database has %1 findings; sent as it is, the scale may be left with part of it or wrong data:</source>
        <translation>Baza danych ma uwagi (%1); wysłana bez zmian może zostawić w wadze tylko jej część lub błędne dane:</translation>
    </message>
    <message>
        <source>and %1 more</source>
        <translation>i jeszcze %1</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Ostrzeżenie</translation>
    </message>
    <message>
        <source>Send anyway</source>
        <translation>Wyślij mimo to</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Anuluj</translation>
    </message>
</context>
<context>
    <name>TCloseQuestion</name>
    <message>
        <source>An upload is running (%1; %2 %3). Close anyway?</source>
        <translation>Trwa wysyłanie (%1; %3: %2). Zamknąć mimo to?</translation>
    </message>
    <message>
        <source>scale</source>
        <translation>waga</translation>
    </message>
    <message>
        <source>scales</source>
        <translation>wagi</translation>
    </message>
</context>
<context>
    <name>TCommLog</name>
    <message>
        <source>sent</source>
        <translation>wysłano</translation>
    </message>
    <message>
        <source>received</source>
        <translation>odebrano</translation>
    </message>
    <message>
        <source>reply</source>
        <translation>odpowiedź</translation>
    </message>
    <message>
        <source>event</source>
        <translation>zdarzenie</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Czas</translation>
    </message>
    <message>
        <source>Link</source>
        <translation>Łącze</translation>
    </message>
    <message>
        <source>Direction</source>
        <translation>Kierunek</translation>
    </message>
    <message>
        <source>Text</source>
        <translation>Tekst</translation>
    </message>
    <message>
        <source>Hex</source>
        <translation>Hex</translation>
    </message>
    <message>
        <source>upload accepted</source>
        <translation>baza danych przyjęta</translation>
    </message>
    <message>
        <source>upload failed: the scale did not accept the database</source>
        <translation>wysyłanie nieudane: waga nie przyjęła bazy danych</translation>
    </message>
    <message>
        <source>opened</source>
        <translation>otwarto</translation>
    </message>
    <message>
        <source>closed</source>
        <translation>zamknięto</translation>
    </message>
    <message>
        <source>ignored: arrived before the resend</source>
        <translation>pominięto: przyszło przed ponownym wysłaniem</translation>
    </message>
    <message>
        <source>line ended before the resend: the scale may hold the front of a cut command</source>
        <translation>wiersz zakończony przed ponownym wysłaniem: waga może mieć początek uciętego polecenia</translation>
    </message>
    <message>
        <source>sleep allowed again</source>
        <translation>uśpienie znów dozwolone</translation>
    </message>
    <message>
        <source>sleep held off while uploading </source>
        <translation>uśpienie wstrzymane na czas wysyłania </translation>
    </message>
    <message>
        <source>sleep could not be held off: </source>
        <translation>nie udało się wstrzymać uśpienia: </translation>
    </message>
    <message>
        <source>upload started: </source>
        <translation>początek wysyłania: </translation>
    </message>
    <message>
        <source>upload stopped at </source>
        <translation>wysyłanie zatrzymane przy: </translation>
    </message>
    <message>
        <source>reconnect attempt </source>
        <translation>próba ponownego połączenia </translation>
    </message>
    <message>
        <source>looking up </source>
        <translation>wyszukiwanie adresu </translation>
    </message>
    <message>
        <source>failed: </source>
        <translation>nieudane: </translation>
    </message>
    <message>
        <source>not sent: </source>
        <translation>nie wysłano: </translation>
    </message>
    <message>
        <source>write failed: </source>
        <translation>zapis nieudany: </translation>
    </message>
    <message>
        <source>stopped after </source>
        <translation>zatrzymano po </translation>
    </message>
    <message>
        <source>ignored </source>
        <translation>pominięto </translation>
    </message>
    <message>
        <source>connecting</source>
        <translation>łączenie</translation>
    </message>
    <message>
        <source>connected</source>
        <translation>połączono</translation>
    </message>
    <message>
        <source>opened, local UDP port </source>
        <translation>otwarto, lokalny port UDP </translation>
    </message>
    <message>
        <source>closing</source>
        <translation>zamykanie</translation>
    </message>
</context>
<context>
    <name>TCommLogPanel</name>
    <message>
        <source>Communication log</source>
        <translation>Dziennik komunikacji</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Kopiuj</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Wyczyść</translation>
    </message>
    <message>
        <source>Save...</source>
        <translation>Zapisz...</translation>
    </message>
    <message>
        <source>Hex</source>
        <translation>Hex</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;Widok</translation>
    </message>
    <message>
        <source>Communication &amp;log</source>
        <translation>&amp;Dziennik komunikacji</translation>
    </message>
    <message>
        <source>Save the communication log</source>
        <translation>Zapisz dziennik komunikacji</translation>
    </message>
    <message>
        <source>text files (*.txt);;all files (*)</source>
        <translation>pliki tekstowe (*.txt);;wszystkie pliki (*)</translation>
    </message>
    <message>
        <source>The communication log could not be saved to %1: %2</source>
        <translation>Nie udało się zapisać dziennika komunikacji do %1: %2</translation>
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
        <translation>Zastosuj</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Anuluj</translation>
    </message>
    <message>
        <source> Connection:</source>
        <translation> Połączenie:</translation>
    </message>
    <message>
        <source>Serial port</source>
        <translation>Port szeregowy</translation>
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
        <translation> Ustawienia portu szeregowego: </translation>
    </message>
    <message>
        <source>COM Port:</source>
        <translation>Port COM:</translation>
    </message>
    <message>
        <source>Baud rate:</source>
        <translation>Prędkość:</translation>
    </message>
    <message>
        <source>bps</source>
        <translation>bps</translation>
    </message>
    <message>
        <source>Advanced options</source>
        <translation>Zaawansowane</translation>
    </message>
</context>
<context>
    <name>TFinding</name>
    <message>
        <source>1 row</source>
        <translation>1 wiersz</translation>
    </message>
    <message>
        <source>%1 rows</source>
        <translation>wiersze (%1)</translation>
    </message>
    <message>
        <source>%1 inside the record (field %2); </source>
        <translation>%1 wewnątrz rekordu (pole %2); </translation>
    </message>
    <message>
        <source> and </source>
        <translation> i </translation>
    </message>
    <message>
        <source>over serial or TCP the scale takes it as the end of the command</source>
        <translation>przez port szeregowy lub TCP waga uzna to za koniec polecenia</translation>
    </message>
    <message>
        <source>over UDP the scale takes it as the end of the text</source>
        <translation>przez UDP waga uzna to za koniec tekstu</translation>
    </message>
    <message>
        <source>the scale takes them as the end of the command</source>
        <translation>waga uzna je za koniec polecenia</translation>
    </message>
    <message>
        <source>control byte %1 in field %2</source>
        <translation>bajt sterujący %1 w polu %2</translation>
    </message>
    <message>
        <source>%1 control bytes, the first %2 in field %3</source>
        <translation>bajty sterujące (%1), pierwszy %2 w polu %3</translation>
    </message>
    <message>
        <source>; the scale gets it as it is (below 0x20 only tab belongs in a record)</source>
        <translation>; waga dostanie go bez zmian (poniżej 0x20 w rekordzie może być tylko tabulator)</translation>
    </message>
    <message>
        <source>; the scale gets them as they are (below 0x20 only tab belongs in a record)</source>
        <translation>; waga dostanie je bez zmian (poniżej 0x20 w rekordzie może być tylko tabulator)</translation>
    </message>
    <message>
        <source>empty record; the upload would stop there with &quot;Database could not be sent to scale.&quot;</source>
        <translation>pusty rekord; wysyłanie zatrzymałoby się na nim z komunikatem &quot;Nie udało się wysłać bazy danych do wagi.&quot;</translation>
    </message>
    <message>
        <source> and not send the %1 after it</source>
        <translation> i nie wysłałoby następnych: %1</translation>
    </message>
    <message>
        <source>%1 bytes; its UDP command is %2 bytes, over the %3 a UDP command holds</source>
        <translation>%1 bajtów; jego polecenie UDP ma %2 bajtów, ponad %3, które mieści polecenie UDP</translation>
    </message>
    <message>
        <source>%1 %2 where the widest row has %3; it is sent padded with %4</source>
        <translation>%2: %1, a najszerszy wiersz ma %3; zostanie wysłany uzupełniony o %4</translation>
    </message>
    <message>
        <source>field</source>
        <translation>pole</translation>
    </message>
    <message>
        <source>fields</source>
        <translation>pola</translation>
    </message>
    <message>
        <source>1 empty field</source>
        <translation>1 puste pole</translation>
    </message>
    <message>
        <source>%1 empty fields</source>
        <translation>puste pola (%1)</translation>
    </message>
    <message>
        <source>UTF-8 text, while %1 in another encoding (the first is row %2); the grid and the scale show it garbled</source>
        <translation>tekst UTF-8, a w innym kodowaniu jest: %1 (pierwszy to wiersz %2); siatka i waga pokażą go zniekształcony</translation>
    </message>
    <message>
        <source>not UTF-8, while %1 UTF-8 text (the first is row %2); one of the two shows garbled on the scale</source>
        <translation>nie UTF-8, a tekstem UTF-8 jest: %1 (pierwszy to wiersz %2); jedno z nich będzie zniekształcone na wadze</translation>
    </message>
    <message>
        <source>1 row is</source>
        <translation>1 wiersz</translation>
    </message>
    <message>
        <source>%1 rows are</source>
        <translation>wiersze (%1)</translation>
    </message>
    <message>
        <source>%1 bytes, over the %2 MiB a record may have</source>
        <translation>%1 bajtów, ponad %2 MiB, które może mieć rekord</translation>
    </message>
    <message>
        <source>no database opened: the grid&apos;s 1 empty row would go to the scale as 1 empty record</source>
        <translation>nie otwarto bazy danych: 1 pusty wiersz siatki trafiłby do wagi jako 1 pusty rekord</translation>
    </message>
    <message>
        <source>no database opened: the grid&apos;s %1 empty rows would go to the scale as %1 empty records</source>
        <translation>nie otwarto bazy danych: puste wiersze siatki (%1) trafiłyby do wagi jako puste rekordy</translation>
    </message>
    <message>
        <source>row %1: </source>
        <translation>wiersz %1: </translation>
    </message>
</context>
<context>
    <name>TForm1</name>
    <message>
        <source>user defined</source>
        <translation>własna</translation>
    </message>
    <message>
        <source> Scale database v%1</source>
        <translation> Baza danych wagi v%1</translation>
    </message>
    <message>
        <source>Database could not be sent to scale.</source>
        <translation>Nie udało się wysłać bazy danych do wagi.</translation>
    </message>
    <message>
        <source>Database was sent to scale.</source>
        <translation>Baza danych została wysłana do wagi.</translation>
    </message>
    <message>
        <source>Failure</source>
        <translation>Niepowodzenie</translation>
    </message>
    <message>
        <source>Success</source>
        <translation>Powodzenie</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Plik</translation>
    </message>
    <message>
        <source>&amp;Open</source>
        <translation>&amp;Otwórz</translation>
    </message>
    <message>
        <source>&amp;Connection</source>
        <translation>Połą&amp;czenie</translation>
    </message>
    <message>
        <source>csv files (*.csv)</source>
        <translation>pliki csv (*.csv)</translation>
    </message>
    <message>
        <source>all files (*.*)</source>
        <translation>wszystkie pliki (*.*)</translation>
    </message>
    <message>
        <source>Database</source>
        <translation>Baza danych</translation>
    </message>
    <message>
        <source>Upload progress</source>
        <translation>Postęp wysyłania</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>Połącz</translation>
    </message>
    <message>
        <source>Send database</source>
        <translation>Wyślij bazę danych</translation>
    </message>
    <message>
        <source> Device type: </source>
        <translation> Typ urządzenia: </translation>
    </message>
    <message>
        <source>standard scale</source>
        <translation>waga standardowa</translation>
    </message>
    <message>
        <source>scale with QD-58</source>
        <translation>waga z QD-58</translation>
    </message>
    <message>
        <source> Database kind: </source>
        <translation> Rodzaj bazy danych: </translation>
    </message>
    <message>
        <source>&amp;Upload</source>
        <translation>W&amp;ysyłanie</translation>
    </message>
    <message>
        <source>&amp;Connect/Disconnect</source>
        <translation>&amp;Połącz/Rozłącz</translation>
    </message>
    <message>
        <source>&amp;Send database/Stop</source>
        <translation>&amp;Wyślij bazę danych/Zatrzymaj</translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation>Rozłącz</translation>
    </message>
    <message>
        <source> connected</source>
        <translation> połączono</translation>
    </message>
    <message>
        <source> disconnected</source>
        <translation> rozłączono</translation>
    </message>
    <message>
        <source>Selected COM port does not exist or is occupied by other software</source>
        <translation>Wybrany port szeregowy nie istnieje lub jest zajęty przez inny program</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Zatrzymaj</translation>
    </message>
    <message>
        <source>Open &amp;Recent</source>
        <translation>Ostatnio ot&amp;wierane</translation>
    </message>
    <message>
        <source>Clear list</source>
        <translation>Wyczyść listę</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>&amp;Zakończ</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>P&amp;omoc</translation>
    </message>
    <message>
        <source>&amp;About scaledb</source>
        <translation>&amp;O programie scaledb</translation>
    </message>
    <message>
        <source>About &amp;Qt</source>
        <translation>O &amp;Qt</translation>
    </message>
    <message>
        <source>(none)</source>
        <translation>(brak)</translation>
    </message>
    <message>
        <source>&lt;h3&gt;scaledb %1&lt;/h3&gt;&lt;p&gt;Sends product, user, label and status databases to shop scales, record by record, over a serial port, TCP or UDP.&lt;/p&gt;&lt;p&gt;Licence: MIT&lt;/p&gt;&lt;p&gt;Built with Qt %2, running on Qt %3.&lt;/p&gt;</source>
        <translation>&lt;h3&gt;scaledb %1&lt;/h3&gt;&lt;p&gt;Wysyła bazy danych towarów, użytkowników, etykiet i statusów do wag sklepowych, rekord po rekordzie, przez port szeregowy, TCP lub UDP.&lt;/p&gt;&lt;p&gt;Licencja: MIT&lt;/p&gt;&lt;p&gt;Zbudowany z Qt %2, działa na Qt %3.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>About scaledb</source>
        <translation>O programie scaledb</translation>
    </message>
    <message>
        <source>%1 files dropped: opened the first, %2</source>
        <translation>Upuszczono pliki (%1): otwarto pierwszy, %2</translation>
    </message>
    <message>
        <source>Sending a database to a scale</source>
        <translation>Wysyłanie bazy danych do wagi</translation>
    </message>
</context>
<context>
    <name>TScaleDialog</name>
    <message>
        <source>Add a scale</source>
        <translation>Dodaj wagę</translation>
    </message>
    <message>
        <source>&amp;Link:</source>
        <translation>&amp;Łącze:</translation>
    </message>
    <message>
        <source>&amp;Name (optional):</source>
        <translation>&amp;Nazwa (opcjonalnie):</translation>
    </message>
    <message>
        <source>Type %1</source>
        <translation>Wpisz %1</translation>
    </message>
</context>
<context>
    <name>TScalesModel</name>
    <message>
        <source>Name</source>
        <translation>Nazwa</translation>
    </message>
    <message>
        <source>Link</source>
        <translation>Łącze</translation>
    </message>
    <message>
        <source>State</source>
        <translation>Stan</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>Postęp</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Czas</translation>
    </message>
    <message>
        <source>reconnecting (attempt %1)</source>
        <translation>ponowne łączenie (próba %1)</translation>
    </message>
    <message>
        <source>connecting</source>
        <translation>łączenie</translation>
    </message>
    <message>
        <source>connected</source>
        <translation>połączono</translation>
    </message>
    <message>
        <source>sending record %1 of %2</source>
        <translation>wysyłanie rekordu %1 z %2</translation>
    </message>
    <message>
        <source>idle</source>
        <translation>bezczynna</translation>
    </message>
    <message>
        <source>accepted in </source>
        <translation>przyjęta w </translation>
    </message>
    <message>
        <source>interrupted</source>
        <translation>przerwano</translation>
    </message>
    <message>
        <source>failed: </source>
        <translation>nieudane: </translation>
    </message>
    <message>
        <source>%1 of %2 %3 accepted the database</source>
        <translation>Bazę danych przyjęło %1 z %2 (%3)</translation>
    </message>
    <message>
        <source>scale</source>
        <translation>waga</translation>
    </message>
    <message>
        <source>scales</source>
        <translation>wagi</translation>
    </message>
    <message>
        <source> and %1 more</source>
        <translation> i jeszcze %1</translation>
    </message>
    <message>
        <source>; %1 failed: %2</source>
        <translation>; nieudane (%1): %2</translation>
    </message>
    <message>
        <source>; %1 interrupted</source>
        <translation>; przerwane: %1</translation>
    </message>
</context>
<context>
    <name>TScalesPanel</name>
    <message>
        <source>Scales</source>
        <translation>Wagi</translation>
    </message>
    <message>
        <source>line %1: %2</source>
        <translation>wiersz %1: %2</translation>
    </message>
    <message>
        <source>1 line of %1 could not be read and is kept as it is: %2</source>
        <translation>1 wiersza z %1 nie dało się odczytać; zostaje bez zmian: %2</translation>
    </message>
    <message>
        <source>%1 lines of %2 could not be read and are kept as they are: %3</source>
        <translation>Wierszy z %2 nie dało się odczytać (%1); zostają bez zmian: %3</translation>
    </message>
    <message>
        <source>; and %1 more</source>
        <translation>; i jeszcze %1</translation>
    </message>
    <message>
        <source>Send to all scales</source>
        <translation>Wyślij do wszystkich wag</translation>
    </message>
    <message>
        <source>Send to selected</source>
        <translation>Wyślij do zaznaczonych</translation>
    </message>
    <message>
        <source>Send again to failed</source>
        <translation>Wyślij ponownie do nieudanych</translation>
    </message>
    <message>
        <source>Save report…</source>
        <translation>Zapisz raport…</translation>
    </message>
    <message>
        <source>Add…</source>
        <translation>Dodaj…</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Usuń</translation>
    </message>
    <message>
        <source>Open list…</source>
        <translation>Otwórz listę…</translation>
    </message>
    <message>
        <source>Save list…</source>
        <translation>Zapisz listę…</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;Widok</translation>
    </message>
    <message>
        <source>&amp;Scales</source>
        <translation>Wa&amp;gi</translation>
    </message>
    <message>
        <source>Send to a&amp;ll scales/Stop all</source>
        <translation>Wyślij do &amp;wszystkich wag/Zatrzymaj wszystkie</translation>
    </message>
    <message>
        <source>Send to s&amp;elected</source>
        <translation>Wyślij do &amp;zaznaczonych</translation>
    </message>
    <message>
        <source>Send again to &amp;failed</source>
        <translation>Wyślij ponownie do &amp;nieudanych</translation>
    </message>
    <message>
        <source>Save re&amp;port…</source>
        <translation>Zapisz &amp;raport…</translation>
    </message>
    <message>
        <source>&amp;Add…</source>
        <translation>&amp;Dodaj…</translation>
    </message>
    <message>
        <source>&amp;Remove</source>
        <translation>&amp;Usuń</translation>
    </message>
    <message>
        <source>&amp;Open list…</source>
        <translation>&amp;Otwórz listę…</translation>
    </message>
    <message>
        <source>&amp;Save list…</source>
        <translation>Za&amp;pisz listę…</translation>
    </message>
    <message>
        <source>Stop all</source>
        <translation>Zatrzymaj wszystkie</translation>
    </message>
    <message>
        <source>Open a list of scales</source>
        <translation>Otwórz listę wag</translation>
    </message>
    <message>
        <source>text files (*.txt);;all files (*)</source>
        <translation>pliki tekstowe (*.txt);;wszystkie pliki (*)</translation>
    </message>
    <message>
        <source>Save the list of scales</source>
        <translation>Zapisz listę wag</translation>
    </message>
    <message>
        <source>Save the report</source>
        <translation>Zapisz raport</translation>
    </message>
    <message>
        <source>JSON files (*.json);;all files (*)</source>
        <translation>pliki JSON (*.json);;wszystkie pliki (*)</translation>
    </message>
    <message>
        <source>; it is left as it is (Save list… writes the list elsewhere)</source>
        <translation>; zostaje bez zmian (Zapisz listę… zapisze listę gdzie indziej)</translation>
    </message>
    <message>
        <source>%1 cannot be read as a list of scales</source>
        <translation>Nie można odczytać %1 jako listy wag</translation>
    </message>
    <message>
        <source>The list of scales could not be saved to %1</source>
        <translation>Nie udało się zapisać listy wag do %1</translation>
    </message>
    <message>
        <source>The report could not be saved to %1</source>
        <translation>Nie udało się zapisać raportu do %1</translation>
    </message>
    <message>
        <source>Sending to 1 scale…</source>
        <translation>Wysyłanie do 1 wagi…</translation>
    </message>
    <message>
        <source>Sending to %1 scales…</source>
        <translation>Wysyłanie do wag (%1)…</translation>
    </message>
</context>
<context>
    <name>TStatusLine</name>
    <message>
        <source>Status line</source>
        <translation>Wiersz stanu</translation>
    </message>
</context>
<context>
    <name>cport</name>
    <message>
        <source>RS-232 settings</source>
        <translation>Ustawienia RS-232</translation>
    </message>
    <message>
        <source> Settings: </source>
        <translation> Ustawienia: </translation>
    </message>
    <message>
        <source>Port:</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>Baud rate:</source>
        <translation>Prędkość:</translation>
    </message>
    <message>
        <source>Data bits:</source>
        <translation>Bity danych:</translation>
    </message>
    <message>
        <source>Stop bits:</source>
        <translation>Bity stopu:</translation>
    </message>
    <message>
        <source>Parity:</source>
        <translation>Parzystość:</translation>
    </message>
    <message>
        <source>Flow control:</source>
        <translation>Przepływ:</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>Zastosuj</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Anuluj</translation>
    </message>
    <message>
        <source>Zastosuj</source>
        <translation>Zastosuj</translation>
    </message>
    <message>
        <source>Apply settings</source>
        <translation>Zastosuj ustawienia</translation>
    </message>
    <message>
        <source>Anuluj</source>
        <translation>Anuluj</translation>
    </message>
    <message>
        <source>Cancel settings</source>
        <translation>Anuluj ustawienia</translation>
    </message>
    <message>
        <source>Unable to open com port</source>
        <translation>Nie można otworzyć portu szeregowego</translation>
    </message>
    <message>
        <source>WriteFile function failed</source>
        <translation>Zapis do portu szeregowego nie powiódł się</translation>
    </message>
    <message>
        <source>ReadFile function failed</source>
        <translation>Odczyt z portu szeregowego nie powiódł się</translation>
    </message>
    <message>
        <source>Invalid Async parameter</source>
        <translation>Błędny parametr operacji asynchronicznej</translation>
    </message>
    <message>
        <source>PurgeComm function failed</source>
        <translation>Czyszczenie buforów portu nie powiodło się</translation>
    </message>
    <message>
        <source>Unable to get async status</source>
        <translation>Nie można odczytać stanu operacji asynchronicznej</translation>
    </message>
    <message>
        <source>SetCommState function failed</source>
        <translation>Ustawienie parametrów portu nie powiodło się</translation>
    </message>
    <message>
        <source>SetCommTimeouts failed</source>
        <translation>Ustawienie limitów czasu portu nie powiodło się</translation>
    </message>
    <message>
        <source>SetupComm function failed</source>
        <translation>Ustawienie buforów portu nie powiodło się</translation>
    </message>
    <message>
        <source>ClearCommError function failed</source>
        <translation>Odczyt błędów portu nie powiódł się</translation>
    </message>
    <message>
        <source>GetCommModemStatus function failed</source>
        <translation>Odczyt linii modemu nie powiódł się</translation>
    </message>
    <message>
        <source>EscapeCommFunction function failed</source>
        <translation>Ustawienie linii modemu nie powiodło się</translation>
    </message>
    <message>
        <source>TransmitCommChar function failed</source>
        <translation>Wysłanie znaku nie powiodło się</translation>
    </message>
    <message>
        <source>Cannot set property while connected</source>
        <translation>Nie można zmienić ustawienia przy otwartym porcie</translation>
    </message>
    <message>
        <source>EnumPorts function failed</source>
        <translation>Wyliczenie portów szeregowych nie powiodło się</translation>
    </message>
    <message>
        <source>Failed to store settings</source>
        <translation>Nie udało się zapisać ustawień</translation>
    </message>
    <message>
        <source>Failed to load settings</source>
        <translation>Nie udało się wczytać ustawień</translation>
    </message>
    <message>
        <source>Link (un)registration failed</source>
        <translation>Rejestracja (lub wyrejestrowanie) powiązania nie powiodła się</translation>
    </message>
    <message>
        <source>Cannot change led state if ComPort is selected</source>
        <translation>Nie można zmienić stanu diody, gdy wybrano port</translation>
    </message>
    <message>
        <source>Cannot wait for event if event thread is created</source>
        <translation>Nie można czekać na zdarzenie, gdy działa wątek zdarzeń</translation>
    </message>
    <message>
        <source>WaitForEvent method failed</source>
        <translation>Oczekiwanie na zdarzenie nie powiodło się</translation>
    </message>
    <message>
        <source>A component is linked to OnRxBuf event</source>
        <translation>Do zdarzenia OnRxBuf jest podłączony komponent</translation>
    </message>
    <message>
        <source>Registry error</source>
        <translation>Błąd listy portów</translation>
    </message>
</context>
</TS>
