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
# And one defect of --win32 output only, in the type format string: a structure
# embedding another simple structure (OPCBROWSEELEMENT embeds OPCITEMPROPERTIES)
# is flattened into one pointer layout, whose pointer entries are relative to
# the outer structure, but the conformant array its embedded pointer designates
# is shared with the inner structure's own layout, so the array's size_is
# correlation (a pointer conformance, relative to the structure holding the
# pointer) still counts from the inner structure: the stub takes another field
# as the element count. The flattened entries get a copy of the array,
# appended to the format string, whose correlation is moved by the inner
# structure's position.
#
# Usage:
#   fix_widl_proxy.pl IN OUT     write the corrected proxy, list the corrections
#   fix_widl_proxy.pl --list F.. print "Interface::Method parameter" per defect
#   fix_widl_proxy.pl --check F.. exit 1 if any defect is left
#   fix_widl_proxy.pl --list-correlations F..
#                                 print "TYPE at memory offset N" per flattened
#                                 pointer with a misplaced correlation
use strict;
use warnings;

use constant {
    FC_RP => 0x11, FC_UP => 0x12, FC_OP => 0x13,
    FC_C_CSTRING => 0x22, FC_C_WSTRING => 0x25,
    FC_CARRAY => 0x1b, FC_CVARRAY => 0x1c, FC_BOGUS_ARRAY => 0x21,
    FC_SIMPLE_POINTER => 0x08, FC_POINTER_DEREF => 0x10,
    PARAM_IS_SIMPLE_REF => 0x0100, PARAM_IS_BASETYPE => 0x0040,
    FC_PSTRUCT => 0x16, FC_PP => 0x4b, FC_PAD => 0x5c, FC_END => 0x5b,
    FC_NO_REPEAT => 0x46, FC_FIXED_REPEAT => 0x47, FC_VARIABLE_REPEAT => 0x48,
    FC_EMBEDDED_COMPLEX => 0x4c, FC_POINTER_CONFORMANCE => 0x10,
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
    my (%starts, %shorts);
    my $line_no = 0;
    for my $line (split /\n/, $body) {
        if ($line =~ m{^/\* (\d+)\b}) {
            my $at = $1;
            $at == @bytes or die "$path: type format offset comment $at at byte " . scalar(@bytes) . "\n";
            $starts{$at} = $line =~ m{^/\* \d+ \((.*)\) \*/} ? $1 : '';
            $line_no++;
            next;
        }
        $shorts{scalar @bytes} = $line_no if $line =~ /^\s*NdrFcShort\(/;
        $line_no++;
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
    return wantarray ? (\@bytes, \%starts, \%shorts) : \@bytes;
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

sub short_at {
    my ($tfs, $at) = @_;
    my $v = $tfs->[$at] | ($tfs->[$at + 1] << 8);
    return $v & 0x8000 ? $v - 0x10000 : $v;
}

# Entries of the pointer layout (FC_PP ... FC_END) at $at: [memory offset,
# position of the entry's pointer descriptor].
sub pointer_layout {
    my ($tfs, $at) = @_;
    my @entries;
    my $i = $at + 2;
    while ($tfs->[$i] != FC_END) {
        my ($count, $first);
        if ($tfs->[$i] == FC_NO_REPEAT) {
            ($count, $first) = (1, $i + 2);
        } elsif ($tfs->[$i] == FC_FIXED_REPEAT) {
            ($count, $first) = (short_at($tfs, $i + 8), $i + 10);
        } elsif ($tfs->[$i] == FC_VARIABLE_REPEAT) {
            ($count, $first) = (short_at($tfs, $i + 6), $i + 8);
        } else {
            die "pointer layout entry $tfs->[$i] at $i not understood\n";
        }
        push @entries, map { [short_at($tfs, $first + 8 * $_), $first + 8 * $_ + 4] } 0 .. $count - 1;
        $i = $first + 8 * $count;
    }
    return @entries;
}

# Pointer entries that reach a conformant array counting its size from the
# structure holding the pointer, at another memory offset than the array's
# first (innermost) use: [array, memory offset, entry's pointer descriptor,
# distance to the first use].
sub misplaced_correlations {
    my ($tfs, $starts) = @_;
    my %uses;
    for my $d (sort { $a <=> $b } keys %$starts) {
        my $layout = $tfs->[$d] == FC_PSTRUCT ? $d + 4
                   : $tfs->[$d] == FC_CARRAY  ? $d + 8
                   : $tfs->[$d] == FC_CVARRAY ? $d + 12 : undef;
        next unless defined $layout && $tfs->[$layout] == FC_PP && $tfs->[$layout + 1] == FC_PAD;
        for my $entry (pointer_layout($tfs, $layout)) {
            my $array = pointer_target($tfs, $entry->[1]);
            next unless defined $array && is_array($tfs, $array)
                && ($tfs->[$array + 4] & 0xf0) == FC_POINTER_CONFORMANCE;
            push @{$uses{$array}}, $entry;
        }
    }
    my @found;
    for my $array (sort { $a <=> $b } keys %uses) {
        my ($home) = sort { $a <=> $b } map { $_->[0] } @{$uses{$array}};
        push @found, map { [$array, $_->[0], $_->[1], $_->[0] - $home] } grep { $_->[0] != $home } @{$uses{$array}};
    }
    return @found;
}

# The source with each misplaced entry pointed at a copy of its array whose
# correlation is moved by the distance; the copies are appended to the format
# string, so no other offset changes.
sub fix_correlations {
    my ($src, $path) = @_;
    my ($tfs, $starts, $shorts) = type_format_bytes($src, $path);
    my @found = misplaced_correlations($tfs, $starts);
    return $src unless @found;
    $src =~ /(__MIDL_TypeFormatString\s*=\s*\{\s*0,\s*\{\n)(.*?)(\n\s*\}\s*\};)/s or die "$path: no type format string\n";
    my ($body_start, $body_end) = ($-[2], $+[2]);
    my @lines = split /\n/, $2;
    my $end = @$tfs;
    my %copies;
    for my $f (@found) {
        my ($array, $memory_offset, $pointer, $distance) = @$f;
        my $key = "$array:$distance";
        unless (exists $copies{$key}) {
            $tfs->[$array] == FC_BOGUS_ARRAY && $tfs->[$array + 12] == FC_EMBEDDED_COMPLEX
                && $tfs->[$array + 16] == FC_PAD && $tfs->[$array + 17] == FC_END
                or die "$path: the array at $array has a form this correction does not know\n";
            my $element = $array + 14 + short_at($tfs, $array + 14);
            my $correlation = short_at($tfs, $array + 6) + $distance;
            my @bytes = @$tfs[$array .. $array + 5];
            my $line = sub { join '', map { sprintf '0x%x, ', $_ } @_ };
            $lines[-1] .= ',' unless $lines[-1] =~ /,\s*(\/\*.*\*\/)?$/;
            push @lines,
                "/* $end ($starts->{$array}, correlation moved by $distance) */",
                '        ' . $line->(@bytes) . '/* FC_BOGUS_ARRAY, its correlation type and operator */',
                sprintf('        NdrFcShort(0x%x),	/* offset = %d */', $correlation & 0xffff, $correlation),
                '        ' . $line->(@$tfs[$array + 8 .. $array + 13]) . '/* variance, FC_EMBEDDED_COMPLEX */',
                sprintf('        NdrFcShort(0x%x),	/* Offset= %d (%d) */', ($element - ($end + 14)) & 0xffff,
                        $element - ($end + 14), $element),
                '        0x5c, 0x5b,	/* FC_PAD, FC_END */';
            $copies{$key} = $end;
            $end += 18;
        }
        my $at = $pointer + 2;
        defined $shorts->{$at} or die "$path: no NdrFcShort line at byte $at\n";
        my $offset = $copies{$key} - $at;
        $lines[$shorts->{$at}] = sprintf '        NdrFcShort(0x%x),	/* Offset= %d (%d) */', $offset & 0xffff, $offset,
                                         $copies{$key};
        print "$starts->{$array} at memory offset $memory_offset: correlation moved by $distance\n";
    }
    $src = substr($src, 0, $body_start) . join("\n", @lines) . substr($src, $body_end);
    $src =~ s/#define TYPE_FORMAT_STRING_SIZE \d+/#define TYPE_FORMAT_STRING_SIZE $end/ or die;
    type_format_bytes($src, $path);
    return $src;
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

if (@ARGV && $ARGV[0] eq '--list-correlations') {
    shift @ARGV;
    for my $path (@ARGV) {
        my ($tfs, $starts) = type_format_bytes(read_file($path), $path);
        print "$starts->{$_->[0]} at memory offset $_->[1]\n" for misplaced_correlations($tfs, $starts);
    }
    exit 0;
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
$fixed_src = fix_correlations($fixed_src, $in);
open my $fh, '>', "$out.tmp" or die "$out.tmp: $!\n";
print $fh $fixed_src;
close $fh or die "$out.tmp: $!\n";
rename "$out.tmp", $out or die "$out: $!\n";
