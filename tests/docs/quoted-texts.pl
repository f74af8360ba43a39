#!/usr/bin/perl
# Every text that the troubleshooting section of installer/README.txt quotes must be one that the
# program, its setup or its diagnostics tool can show, so that a reworded message cannot leave the
# README quoting the old one; and every fix the diagnostics tool gives must be worded as that
# section words it, so that the two cannot drift apart. Usage: quoted-texts.pl <checkout>
#
# Quoted are: a line indented by four or more spaces that is one text in quotation marks (a
# message box's whole text, which may hold quotation marks itself), and every other pair of
# quotation marks (a text or a part of one). <...> stands for a value known only at run time.
# Where the texts come from: string literals of the program's sources, of RtMidi's WinMM back end
# (linked into the program) and of the installer script. A message is made of whole literals and
# run-time values, end to end, all from one source file and what it includes, as the program
# composes its messages; a part of a text lies within one literal.
use strict;
use warnings;

my $root = shift or die "usage: $0 <checkout>\n";
sub slurp { my ($f) = @_; open my $h, '<', $f or die "FAIL: cannot read $f: $!\n"; local $/; <$h> }

# The section: from its heading to the next heading (a line underlined with dashes).
my @lines = split /\n/, slurp("$root/installer/README.txt");
my ($from) = grep { $lines[$_] eq 'When something does not work' } 0 .. $#lines;
defined $from or die "FAIL: installer/README.txt has no section 'When something does not work'\n";
my $to = $from + 2;
$to++ while $to < $#lines && $lines[$to + 1] !~ /^-+$/;
my (@whole, @prose);
for (@lines[$from + 2 .. $to - 1]) {
    if (/^ {4,}"(.*)"\s*$/) { push @whole, $1 } else { push @prose, $_ }
}
(my $prose = join ' ', @prose) =~ s/\s+/ /g;
die "FAIL: an unpaired quotation mark in the section\n" if ($prose =~ tr/"//) % 2;
my @parts = $prose =~ /"([^"]*)"/g;
@whole && @parts or die "FAIL: the section quotes no message\n";

# Literals per source file, comments left out.
my (%literals, %includes);
sub c_literals {
    my ($file, $text) = @_;
    my $resource = $file =~ /\.rc$/;
    while ($text =~ m{"((?:[^"\\\n]|\\.)*)"|'(?:[^'\\\n]|\\.)*'|//[^\n]*|/\*.*?\*/|.}gs) {
        next unless defined $1;
        (my $s = $1) =~ s/\\(.)/$1 eq 'n' ? "\n" : $1 eq 't' ? "\t" : $1/ge;
        $s =~ s/&(.)/$1/g if $resource;  # a menu's keyboard marks are not shown
        push @{$literals{$file}}, grep { length } split /\n/, $s;
    }
    for my $name ($text =~ /^\s*#\s*include\s+"([^"]+)"/mg) {
        my ($dir) = $file =~ m{^(.*)/};
        push @{$includes{$file}}, grep { -f } "$root/$name", "$dir/$name";
    }
}
for my $dir (qw(engine midi_output midi_services settings ui virtual_midi check)) {
    open my $find, '-|', 'find', "$root/$dir", '-type', 'f' or die "FAIL: cannot list $dir\n";
    # The stand-ins that only tests use show nothing to anyone.
    for (grep { /\.(cpp|h|rc)$/ && !m{/(native|fake_bus)/} } map { chomp; $_ } <$find>) {
        c_literals($_, slurp($_));
    }
}
my ($rtmidi) = glob "$root/.deps/src/rtmidi-*/RtMidi.cpp";
defined $rtmidi or die "FAIL: RtMidi's source is not under .deps/src: run scripts/setup.sh\n";
slurp($rtmidi) =~ /#if defined\(__WINDOWS_MM__\)\n((?:(?!#if defined\(__WINDOWS_MM__\)).)*?)#endif\s*\/\/ __WINDOWS_MM__/s
    or die "FAIL: no WinMM back end in $rtmidi\n";
c_literals($rtmidi, $1);
my $nsi = slurp("$root/installer/tessivane.nsi");
my %define = $nsi =~ /^!define\s+(\w+)\s+"([^"\$]*)"/mg;
while ($nsi =~ /"((?:\$\\.|[^"\n])*)"|'((?:\$\\.|[^'\n])*)'|`([^`\n]*)`|[;#][^\n]*|./g) {
    my $s = $1 // $2 // $3 // next;
    $s =~ s/\$\{(\w+)\}/$define{$1} \/\/ "\${$1}"/ge;
    $s =~ s/\$\\r\$\\n/\n/g;
    $s =~ s/\$\\(.)/$1/g;
    $s =~ s/\$\$/\$/g;
    push @{$literals{nsi}}, grep { length } split /\n/, $s;
}

sub closure {
    my ($file, $seen) = @_;
    return () if $seen->{$file}++;
    return (@{$literals{$file} // []}, map { closure($_, $seen) } @{$includes{$file} // []});
}
sub composed {  # whole literals and <...> values, end to end
    my ($text, @pieces) = @_;
    my @reach = (1);
    for my $at (0 .. length($text) - 1) {
        next unless $reach[$at];
        my $rest = substr $text, $at;
        $reach[$at + length $1] = 1 if $rest =~ /^(<[^<>]+>)/;
        for (@pieces) { $reach[$at + length] = 1 if index($rest, $_) == 0 }
    }
    return $reach[length $text];
}
my @sets = map { [closure($_, {})] } keys %literals;
my @all = map { @$_ } values %literals;
my @wrong;
for my $text (@whole, @parts) {
    my $part = grep { $_ eq $text } @parts;
    next if $part && $text !~ /[<>]/ && grep { index($_, $text) >= 0 } @all;
    push @wrong, $text unless grep { composed($text, @$_) } @sets;
}
print "FAIL: quoted, but not a text the program or its setup shows: \"$_\"\n" for @wrong;
printf "%d quoted texts, %d not the program's\n", @whole + @parts, scalar @wrong;

# The fixes, each a constant kFix... of the tool's findings, compared without regard to letter
# case and line breaks.
(my $section = lc join ' ', @lines[$from + 2 .. $to - 1]) =~ s/\s+/ /g;
my (@fixes, @unworded);
my $findings = slurp("$root/check/Findings.cpp");
while ($findings =~ /char const kFix\w+\[\] =\s*((?:"(?:[^"\\]|\\.)*"\s*)+);/g) {
    (my $fix = join '', $1 =~ /"((?:[^"\\]|\\.)*)"/g) =~ s/\\(.)/$1/g;
    push @fixes, $fix;
    (my $wanted = lc $fix) =~ s/\s+/ /g;
    push @unworded, $fix if index($section, $wanted) < 0;
}
@fixes or die "FAIL: no fixes found in check/Findings.cpp\n";
print "FAIL: the diagnostics tool's fix is not in the section: \"$_\"\n" for @unworded;
printf "%d fixes of the diagnostics tool, %d not worded as the section words them\n", scalar @fixes, scalar @unworded;
exit(@wrong || @unworded ? 1 : 0);
