#!/usr/bin/perl
# Corrects the parameter type offsets that widl 7.0/8.0 gets wrong in -Oif
# proxies for string pointers passed by reference:
#
#   [out, string] LPWSTR *p, [in, out, string] LPWSTR *p
#       The type offset points at the string pointer (FC_OP/FC_UP) instead of
#       the FC_RP [pointer_deref] descriptor 4 bytes before it: the string
#       arrives as NULL (or empty) while the call succeeds.
#   [out, string, size_is(, n)] LPWSTR **p
#       The type offset points at the array, 8 bytes past the FC_RP
#       [pointer_deref] -> FC_OP chain that describes the parameter.
#   [in, string, size_is(n)] LPWSTR *p
#       The type offset points 4 bytes into the array descriptor that the
#       parameter's FC_RP designates.
#
# The descriptors involved have the same form in --win32 and --win64 output
# (the two differ in stack offsets, structure sizes and correlation descriptors).
#
# Usage:
#   fix_widl_proxy.pl IN OUT     write the corrected proxy, list the corrections
#   fix_widl_proxy.pl --list F.. print "Interface::Method parameter" per defect
#   fix_widl_proxy.pl --check F.. exit 1 if any defect is left
use strict;
use warnings;

use constant {
    FC_RP => 0x11, FC_UP => 0x12, FC_OP => 0x13,
    FC_C_CSTRING => 0x22, FC_C_WSTRING => 0x25,
    FC_CARRAY => 0x1b, FC_CVARRAY => 0x1c, FC_BOGUS_ARRAY => 0x21,
    FC_SIMPLE_POINTER => 0x08, FC_POINTER_DEREF => 0x10,
    PARAM_IS_SIMPLE_REF => 0x0100, PARAM_IS_BASETYPE => 0x0040,
};

sub read_file {
    my ($path) = @_;
    open my $fh, '<', $path or die "$path: $!\n";
    local $/;
    return <$fh>;
}

sub number { my ($text) = @_; return $text =~ /^0x/i ? hex $text : $text + 0 }

# Byte image of __MIDL_TypeFormatString, cross-checked against widl's offset
# comments and TYPE_FORMAT_STRING_SIZE so that a change of widl's output format
# stops the build instead of producing a wrong correction.
sub type_format_bytes {
    my ($src, $path) = @_;
    my ($body) = $src =~ /__MIDL_TypeFormatString\s*=\s*\{\s*0,\s*\{\n(.*?)\n\s*\}\s*\};/s
        or die "$path: no type format string\n";
    my ($size) = $src =~ /#define TYPE_FORMAT_STRING_SIZE (\d+)/
        or die "$path: no TYPE_FORMAT_STRING_SIZE\n";
    my @bytes;
    for my $line (split /\n/, $body) {
        if ($line =~ m{^/\* (\d+)\b}) {
            $1 == @bytes or die "$path: type format offset comment $1 at byte " . scalar(@bytes) . "\n";
            next;
        }
        (my $code = $line) =~ s{/\*.*?\*/}{}g;
        while ($code =~ /NdrFcShort\(\s*(\w+)\s*\)|NdrFcLong\(\s*(\w+)\s*\)|\b(0x[0-9a-fA-F]+|\d+)\b/g) {
            if (defined $1) {
                my $v = number($1);
                push @bytes, $v & 0xff, ($v >> 8) & 0xff;
            } elsif (defined $2) {
                my $v = number($2);
                push @bytes, map { ($v >> (8 * $_)) & 0xff } 0 .. 3;
            } else {
                push @bytes, number($3) & 0xff;
            }
        }
    }
    @bytes == $size or die "$path: type format string has " . scalar(@bytes) . " bytes, expected $size\n";
    return \@bytes;
}

sub pointer_target {
    my ($tfs, $at) = @_;
    return undef if $at < 0 || $at + 3 >= @$tfs;
    my $kind = $tfs->[$at];
    return undef unless $kind == FC_RP || $kind == FC_UP || $kind == FC_OP;
    return undef if $tfs->[$at + 1] & FC_SIMPLE_POINTER;
    my $offset = $tfs->[$at + 2] | ($tfs->[$at + 3] << 8);
    $offset -= 0x10000 if $offset & 0x8000;
    return $at + 2 + $offset;
}

sub is_string_pointer {
    my ($tfs, $at) = @_;
    return ($tfs->[$at] == FC_UP || $tfs->[$at] == FC_OP)
        && ($tfs->[$at + 1] & FC_SIMPLE_POINTER)
        && ($tfs->[$at + 2] == FC_C_WSTRING || $tfs->[$at + 2] == FC_C_CSTRING);
}

sub is_array {
    my ($tfs, $at) = @_;
    my $kind = $tfs->[$at];
    return $kind == FC_CARRAY || $kind == FC_CVARRAY || $kind == FC_BOGUS_ARRAY;
}

sub is_deref_rp {
    my ($tfs, $at) = @_;
    return $at >= 0 && $tfs->[$at] == FC_RP && ($tfs->[$at + 1] & FC_POINTER_DEREF);
}

# The offset the parameter should have, or undef when widl got it right.
sub corrected_offset {
    my ($tfs, $flags, $offset) = @_;
    return undef if $flags & PARAM_IS_BASETYPE;
    if ($flags & PARAM_IS_SIMPLE_REF) {
        my $array = $offset - 4;
        return $array
            if $array >= 4 && is_array($tfs, $array)
            && $tfs->[$array - 4] == FC_RP && (pointer_target($tfs, $array - 4) // -1) == $array;
        return undef;
    }
    return $offset - 4
        if is_string_pointer($tfs, $offset) && is_deref_rp($tfs, $offset - 4)
        && (pointer_target($tfs, $offset - 4) // -1) == $offset;
    return $offset - 8
        if is_array($tfs, $offset) && is_deref_rp($tfs, $offset - 8)
        && (pointer_target($tfs, $offset - 8) // -1) == $offset - 4
        && (pointer_target($tfs, $offset - 4) // -1) == $offset;
    return undef;
}

my $param_re = qr{
    (?<head>/\*\ \d+\ \(parameter\ (?<name>\w+)\)\ \*/\n
      \s*NdrFcShort\((?<flags>\w+)\),[^\n]*\n
      \s*NdrFcShort\(\w+\),\s*/\*\ stack\ offset\ =\ \d+\ \*/\n
      \s*)
    NdrFcShort\((?<value>\w+)\),\s*/\*\ type\ offset\ =\ (?<offset>\d+)\ \*/
}x;

# Applies $visit to every parameter needing a correction; returns the source
# with the replacements $visit gives.
sub scan {
    my ($src, $path, $visit) = @_;
    my $tfs = type_format_bytes($src, $path);
    my $procedure = '?';
    my $out = '';
    my $pos = 0;
    while ($src =~ m{/\* \d+ \(procedure (\w+::\w+)\) \*/|$param_re}g) {
        if (defined $1) {
            $procedure = $1;
            next;
        }
        my %m = %+;
        number($m{value}) == $m{offset} or die "$path: $procedure $m{name}: type offset comment disagrees\n";
        my $fixed = corrected_offset($tfs, number($m{flags}), $m{offset});
        next unless defined $fixed;
        my $replacement = $visit->($procedure, $m{name}, $m{offset}, $fixed);
        next unless defined $replacement;
        my $start = $-[0] + length $m{head};
        $out .= substr($src, $pos, $start - $pos) . $replacement;
        $pos = $+[0];
    }
    return $out . substr($src, $pos);
}

if (@ARGV && ($ARGV[0] eq '--list' || $ARGV[0] eq '--check')) {
    my $mode = shift @ARGV;
    my $found = 0;
    for my $path (@ARGV) {
        scan(read_file($path), $path, sub {
            my ($procedure, $name, $offset, $fixed) = @_;
            $found++;
            print $mode eq '--list' ? "$procedure $name\n"
                                    : "$path: $procedure $name: type offset $offset should be $fixed\n";
            return undef;
        });
    }
    exit($mode eq '--check' && $found ? 1 : 0);
}

@ARGV == 2 or die "usage: $0 IN OUT | --list FILE... | --check FILE...\n";
my ($in, $out) = @ARGV;
my $fixed_src = scan(read_file($in), $in, sub {
    my ($procedure, $name, $offset, $fixed) = @_;
    print "$procedure $name: type offset $offset -> $fixed\n";
    return sprintf 'NdrFcShort(0x%x),	/* type offset = %d */', $fixed, $fixed;
});
open my $fh, '>', "$out.tmp" or die "$out.tmp: $!\n";
print $fh $fixed_src;
close $fh or die "$out.tmp: $!\n";
rename "$out.tmp", $out or die "$out: $!\n";
